#pragma once
// Thelpp: the help window, showing readme.txt from the working directory.
#include <QByteArray>
#include <QString>
#include <QWidget>
#include <optional>

class QFrame;
class QPlainTextEdit;
class QPushButton;
class SecondaryWindow;

class Thelpp : public QWidget {
    Q_OBJECT
public:
    explicit Thelpp(QWidget *parent = nullptr);
    // Clears the text, then loads readme.txt or puts the fixed line. Raises on failure.
    void FillHelpText();
    void Button1Click();
    // Creates the controls below; the first filling or showing does it (null until then).
    void BuildContents();

    QFrame *Bevel1 = nullptr;
    QPlainTextEdit *Memo1 = nullptr;
    QPushButton *Button1 = nullptr;

    void setVisible(bool visible) override;

private:
    SecondaryWindow *secondary_;
};

extern Thelpp *helpp;

inline constexpr const char *kHelpFileName = "readme.txt";
// Shown when there is no readme.txt to load.
inline const QString kHelpMissingLine = QStringLiteral("Извините, но помощь кто-то украл!");
// The most text the help box takes, in bytes of the file: a guide that large
// is no guide, and beyond it the box would take seconds and gigabytes to fill.
inline constexpr qint64 kMemoCapacity = qint64(64) << 20;

// The whole file as bytes, read while nobody may write it, or nothing when
// path names no regular file (missing, a folder, a device). Raises
// EFOpenError when it exists but can't be opened, and "Text exceeds memo
// capacity" when it is larger than kMemoCapacity.
std::optional<QByteArray> ReadHelpFile(const char *path);

// The bytes as display text with every line break (CR LF, LF, lone CR) made
// one, and NUL bytes shown as spaces.
QString HelpText(const QByteArray &bytes);
