// Chinese for the standard texts the toolkit's own Chinese catalogue leaves in English: the
// kinds of entry its file dialogs list ("Folder" and the like). Installed after that
// catalogue, so it is asked first, and answers only for its own table.
#pragma once

#include <QHash>
#include <QTranslator>

class StationTranslator : public QTranslator {
    Q_OBJECT
  public:
    explicit StationTranslator(QObject* parent = nullptr);

    QString translate(const char* context, const char* sourceText,
                      const char* disambiguation = nullptr, int n = -1) const override;
    bool isEmpty() const override { return false; }

  private:
    QHash<QByteArray, QString> texts_;  // context, 0x1f, source -> Chinese
};
