#include "ChineseInterface.h"

#include <locale.h>

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "StationIcon.h"
#include "StationTranslator.h"

QString StationFontFamily() {
    return QStringLiteral("Noto Sans CJK SC");
}

bool SetUpChineseInterface(QApplication& app) {
    // Date edits, calendars and number texts follow the default locale from their creation on.
    const QLocale chinese(QLocale::Chinese, QLocale::SimplifiedChineseScript, QLocale::China);
    QLocale::setDefault(chinese);

    // The toolkit's own catalogue: buttons of message boxes, file dialogs, context menus.
    auto* qt = new QTranslator(&app);
    const bool loaded = qt->load(chinese, QStringLiteral("qtbase"), QStringLiteral("_"),
                                 QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (loaded) QCoreApplication::installTranslator(qt);
    // Installed last, so asked first: what the catalogue above leaves in English.
    QCoreApplication::installTranslator(new StationTranslator(&app));

    // A CJK font that has every glyph, first for every widget. The system's own choice for
    // Chinese text depends on the locale and on which CJK fonts happen to be installed, and
    // one of them draws "℃" as an empty glyph.
    if (QFontDatabase::hasFamily(StationFontFamily())) {
        QFont font = QApplication::font();
        font.setFamilies({StationFontFamily()});
        QApplication::setFont(font);
    }
    QApplication::setWindowIcon(MakeStationIcon());
    return loaded;
}

void PreferChineseDates() {
    if (qEnvironmentVariableIsSet("LC_ALL") || qEnvironmentVariableIsSet("LC_TIME")) return;
    static const char kChinese[] = "zh_CN.UTF-8";
    // Only a locale the system has: with an unknown one, the C library's set-up of every
    // category would fail at the application's start.
    if (locale_t probe = ::newlocale(LC_TIME_MASK, kChinese, static_cast<locale_t>(nullptr))) {
        ::freelocale(probe);
        qputenv("LC_TIME", kChinese);
    }
}
