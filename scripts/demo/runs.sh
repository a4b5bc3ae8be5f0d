# The demo's records (sourced by scripts/run.sh and the two wrappers): every
# run keeps what its virtual printers received, and its pictures, in a folder
# of its own, out/runs/<UTC time>/, so that no run overwrites another's;
# out/printers, out/usb-printer and out/pictures point into the latest.
# Needs $root, the repository's folder.

# The virtual printers' updates and whatever the programs remember stay out
# of the user's own history and settings.
export XDG_STATE_HOME=$root/out/state XDG_CONFIG_HOME=$root/out/config

# Makes and prints a fresh run folder.
demo_new_run() {
  local stamp dir n
  stamp=$(date -u +%Y%m%d-%H%M%S)
  mkdir -p "$root/out/runs" || return 1
  dir=$root/out/runs/$stamp
  # Two runs in one second get -2, -3, ...
  for n in $(seq 2 100); do
    mkdir "$dir" 2>/dev/null && { echo "$dir"; return 0; }
    dir=$root/out/runs/$stamp-$n
  done
  return 1
}

# Points out/<record> at what the run folder $1 holds. A real folder left
# there by an older demo is kept as a run of its own first.
demo_point_latest() {
  local run=$1 name kept
  for name in printers usb-printer pictures; do
    [ -e "$run/$name" ] || continue
    if [ -d "$root/out/$name" ] && [ ! -L "$root/out/$name" ]; then
      kept=$root/out/runs/earlier-$(date -u +%Y%m%d-%H%M%S)
      mkdir -p "$kept" && mv "$root/out/$name" "$kept/$name"
    fi
    ln -sfn "runs/$(basename "$run")/$name" "$root/out/$name"
  done
}
