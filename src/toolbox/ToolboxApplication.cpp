// The process's application: the widget application itself, its identity on
// the desktop (icon, desktop entry), the string table of the user's language,
// and what is freed at the end.
#include "toolbox/ToolboxPrivate.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>
#include <QTranslator>

namespace tb {

namespace {

QTranslator* g_translator = nullptr;
QTranslator* g_qtTranslator = nullptr;

} // namespace

bool InstallStringTable(const QString& language) {
    if (language.isEmpty())
        return false;
    auto* translator = new QTranslator(qApp);
    if (!translator->load(QStringLiteral("StringTable_") + language, QStringLiteral(":/i18n"))) {
        delete translator;
        return false;
    }
    RemoveStringTable();
    QCoreApplication::installTranslator(translator);
    g_translator = translator;
    // Qt's own texts (the inside of its folder chooser, say), when the
    // system has them for this language.
    auto* qtTexts = new QTranslator(qApp);
    if (qtTexts->load(QStringLiteral("qtbase_") + language,
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(qtTexts);
        g_qtTranslator = qtTexts;
    } else {
        delete qtTexts;
    }
    return true;
}

bool InstallStringTableForUserLocale() {
    const QStringList languages = QLocale::system().uiLanguages();
    for (QString language : languages) {
        language.replace(QLatin1Char('-'), QLatin1Char('_'));
        // The keys are the English texts.
        if (language == QLatin1String("C") || language.startsWith(QLatin1String("en")))
            return false;
        if (InstallStringTable(language))
            return true;
    }
    return false;
}

void RemoveStringTable() {
    if (g_translator == nullptr)
        return;
    QCoreApplication::removeTranslator(g_translator);
    delete g_translator;
    g_translator = nullptr;
    if (g_qtTranslator != nullptr) {
        QCoreApplication::removeTranslator(g_qtTranslator);
        delete g_qtTranslator;
        g_qtTranslator = nullptr;
    }
}

bool SetApplicationIdentity(const QString& desktopId, const QString& svgResource) {
    QGuiApplication::setDesktopFileName(desktopId);
    QSvgRenderer renderer(svgResource);
    if (!renderer.isValid())
        return false;
    // Drawn at the sizes window managers and task bars ask for; the SVG
    // image plugin would be one more package to depend on.
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    QApplication::setWindowIcon(icon);
    return true;
}

struct ApplicationScope::Impl {
    Impl(int& argc, char** argv) : application(argc, argv) {}
    QApplication application;
};

ApplicationScope::ApplicationScope(int& argc, char** argv)
    : m_impl(std::make_unique<Impl>(argc, argv)) {
    QApplication::setQuitOnLastWindowClosed(false);
}

ApplicationScope::~ApplicationScope() = default;

QStringList ApplicationScope::Arguments() const {
    return QApplication::arguments();
}

void Shutdown() {
    ReleaseForms();
    RemoveStringTable();
    SetArrowCursor();
}

} // namespace tb
