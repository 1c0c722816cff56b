#include "StationTranslator.h"

namespace {

QByteArray Key(const char* context, const char* sourceText) {
    return QByteArray(context) + '\x1f' + QByteArray(sourceText);
}

}  // namespace

StationTranslator::StationTranslator(QObject* parent) : QTranslator(parent) {
    const struct {
        const char* context;
        const char* source;
        const char* chinese;
    } table[] = {
        {"QAbstractFileIconProvider", "Folder", "文件夹"},
        {"QAbstractFileIconProvider", "File Folder", "文件夹"},
        {"QAbstractFileIconProvider", "Drive", "驱动器"},
        {"QAbstractFileIconProvider", "File", "文件"},
        {"QAbstractFileIconProvider", "%1 File", "%1 文件"},
        {"QAbstractFileIconProvider", "Alias", "快捷方式"},
        {"QAbstractFileIconProvider", "Shortcut", "快捷方式"},
    };
    for (const auto& t : table)
        texts_.insert(Key(t.context, t.source), QString::fromUtf8(t.chinese));
}

QString StationTranslator::translate(const char* context, const char* sourceText,
                                     const char* /*disambiguation*/, int /*n*/) const {
    return texts_.value(Key(context, sourceText));
}
