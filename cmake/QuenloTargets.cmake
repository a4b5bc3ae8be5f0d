# Targets of plain C++ (no Qt, or QtCore without its code generators):
# Qt's moc, uic and rcc have nothing to do there and would only cost time.
function(quenlo_plain_cxx)
  set_target_properties(${ARGN} PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
endfunction()
