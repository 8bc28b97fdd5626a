// The runtime every window stands on: the display text of names and tag fields,
// the error texts and their box, the real boxes and the folder chooser.
#include "TestSupport.h"
#include "WidgetSupport.h"
#include "runtime/FolderChooser.h"
#include "runtime/Captions.h"
#include "runtime/Desktop.h"
#include "runtime/Errors.h"
#include "runtime/SecondaryWindow.h"
#include "runtime/TextCodec.h"

#include <QAbstractButton>
#include <QLabel>
#include <QTreeWidget>
#include <QMessageBox>
#include <QScreen>
#include <QStringEncoder>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <sys/stat.h>

namespace {

// Real-looking ID3v1 fields and file names: Russian ones kept in windows-1251, Western
// ones (Swedish, German, French, Spanish, Portuguese and neighbours) in windows-1252.
const QStringList kRussianTexts = {
    "Кино", "КИНО", "Группа крови", "ГРУППА КРОВИ", "Звезда по имени Солнце", "Виктор Цой", "ДДТ", "Что такое осень",
    "ЧТО ТАКОЕ ОСЕНЬ", "Ария", "Беспечный ангел", "Алиса", "Любэ", "Комбат", "Земфира", "Хочешь?", "Сплин",
    "Выхода нет", "Ленинград", "Ленинград - WWW", "Мумий Тролль", "Владивосток 2000", "Агата Кристи", "Как на войне",
    "Наутилус Помпилиус", "Прогулки по воде", "Чиж & Co", "Би-2", "Полковнику никто не пишет", "Руки Вверх!",
    "Крематорий", "Мусорный ветер", "Машина Времени", "Поворот", "Аквариум", "Город золотой", "Чайф",
    "Аргентина-Ямайка 5:0", "Алла Пугачёва", "Миллион алых роз", "t.A.T.u. - Я сошла с ума", "DJ Грув", "Сектор Газа",
    "Гражданская оборона", "Всё идёт по плану", "ВИА Гра", "Король и Шут", "КОРОЛЬ И ШУТ", "Лесник", "Lumen - Гореть",
    "Ночные снайперы", "Звери", "Районы-кварталы", "Пикник", "Браво", "Ёлка", "Баста", "Сансара", "Лучшие песни",
    "Альбом 1988", "Концерт в Олимпийском", "Неизвестный исполнитель", "Без названия", "ЛУЧШЕЕ", "Хиты 90-х",
    "Трек 01", "Песня №1", "«Белый альбом»", "Ой, мороз", "Я", "в", "Live in Moscow - Часть 2", "Rock'n'roll мёртв",
    "Нас не догонят", "ЁЖИК В ТУМАНЕ", "Дискотека Авария", "Ария - Ангельская пыль", "01 - Кукушка.mp3",
    "Земфира - Искала.mp3", "02. Сплин - Романс.mp3", "Track 05 - Звезда.mp3", "Сборник (CD2)", "Рок", "МАЙ",
    "Эх, Одесса",
    // Mixed with Latin: band names, "feat.", "Live", "Remix", track numbers, a Latin letter
    // inside a word; one letter or one word, with and without an extension.
    "Я love you", "О, Mama", "AПесня", "Вiдпусти", "Я.mp3", "Я", "Ты", "Он.mp3", "Мы.wav", "И", "Ё", "Ю.wav",
    "Эх.mp3", "Ой", "Сон.mp3", "Дом", "Любовь.wav", "Жизнь", "Serebro - Мама Люба", "Scorpions - Ветер перемен",
    "Nautilus Pompilius - Крылья", "t.A.T.u. - Нас не догонят (Remix)", "Ленинград feat. Глюк'oZa - Жу-жу",
    "Мумий Тролль - Невеста? (Live)", "Руки Вверх - Крошка моя (Remix)", "Therr Maitz - Улетай", "Dolphin - Весна",
    "Pizza - Оригами", "Би-2 feat. Oxxxymiron - Пора возвращаться домой", "Tokio - Когда я умру",
    "Zdob si Zdub - Видели ночь", "Моя Мишель - Зима (Live)", "Kazka - Плакала",
    "Мот feat. Jah Khalib - Дорога в облака", "IOWA - Улыбайся", "Hi-Fi - Не дано", "Uma2rman - Проститься",
    "Markscheider Kunst - Кикимора", "Океан Ельзи - Обiйми", "Сплин - Orbit без сахара", "Браво - Live in Moscow",
    "Кино - Звезда по имени Солнце (Remastered 2019)", "Ария - Штиль (Live 2002)", "01. Intro - Вступление",
    "Track 03 - Ночь.mp3", "12 - Трек.wav", "07 Мама.mp3", "05. Земфира - ПММЛ.mp3", "CD1 - 02 - Осень.mp3",
    "Мельница - Ночная Кобыла (feat. Anna)", "Feduk - Хлопья летят наверх", "Ёлка - Прованс (DJ Remix)",
    "Звери - Всё, что касается (Acoustic)", "Ирина Аллегрова - Младший лейтенант (Dance Mix)",
    "Сектор Газа - Lambada", "Крематорий - Kali-Yuga", "Ночные Снайперы - Rock'n'roll", "Мумий Тролль - Utopia",
    "Ляпис Трубецкой - Capital", "Noize MC - Выдыхай", "Quest Pistols - Я устал", "MakSim - Знаешь ли ты",
    "Slava Marlow - Ты горишь как огонь", "Нюша - Vыше", "Zемфира", "Aлиса", "Kино", "Maшина времени", "Я.wav", "В",
    "С Love", "У Ali.mp3", "К Elise", "Ж.mp3", "Ш", "Мы", "Ты.mp3", "Эй", "Да", "Нет.mp3", "Рок", "Ночь",
    "Intro (Вступление).mp3", "Outro.Финал.mp3", "А.mp3", "а", "А",
    // A Russian word or letter among English ones.
    "Kino - Группа крови (Live in Moscow)", "Boney M - Распутин", "Little Big - Скибиди", "Tesla Boy - Ночь",
    "Track 1 - Я", "I Love You Я", "Я - The Best of", "Best of - Ё", "The Best Of Алла", "Greatest Hits - Ночь",
    "Mumiy Troll - Утекай (Radio Edit)", "Aria - Штиль (Live in Saint Petersburg)",
    "Night Snipers - Ты дарила мне розы", "Ария - Штиль (концертная)",
};
const QStringList kWesternTexts = {
    "räksmörgås", "Håkan Hellström", "Känn ingen sorg för mig", "Lars Winnerbäck", "Öppna landskap", "Björn Skifs",
    "För kung och fosterland", "Veronica Maggio - Måndagsbarn", "Mötley Crüe", "Die Ärzte", "Männer sind Schweine",
    "Herbert Grönemeyer", "Zehn kleine Jägermeister", "Über den Wolken", "Fräulein", "Schön ist es auf der Welt",
    "Gefährlich", "Straße", "ÄRZTE", "Édith Piaf", "Non, rien de rien – Piaf", "La Bohème", "Céline Dion",
    "Françoise Hardy", "Tous les garçons et les filles", "J'ai demandé à la lune", "Noir Désir",
    "Le vent nous portera · Désir", "Christophe Maé", "Mylène Farmer", "Désenchantée", "L'été indien",
    "Les Champs-Élysées", "Où sont les femmes", "Ça plane pour moi", "Maná", "Corazón espinado",
    "Héroes del Silencio", "Canción del mariachi", "Corazón partío", "Niño", "Limón y sal", "Bésame mucho",
    "¿Dónde estás?", "¡Olé!", "Señorita", "João Gilberto", "Coração vagabundo", "Águas de março", "Amália Rodrigues",
    "Ó gente da minha terra", "Canção do mar", "País tropical", "Atrás da porta", "Xutos & Pontapés",
    "À minha maneira", "Motörhead", "Sigur Rós - Hoppípolla", "Björk - Jóga", "Beyoncé", "Queensrÿche",
    "Blue Öyster Cult", "Hüsker Dü", "Café del Mar", "Déjà vu", "Naïve", "MÖTLEY CRÜE", "CAFÉ", "Ønskebrønn",
    "Træd varsomt", "01 - Ó gente.mp3", "Maná - Oye mi amor.mp3", "Kent - Om du var här",
    "Stromae - Formidable à Paris", "Zaz - Éblouie par la nuit", "Éléphant", "São Paulo", "Ñu", "Größenwahn",
    "Beyoncé feat. Jay-Z - Déjà vu", "Café del Mar (Remix)", "01 - Déjà vu (Live).mp3", "Mötley Crüe - Live Wire",
    "Björk - Army of Me (Remix)", "Sigur Rós - Sæglópur", "Édith Piaf - La vie en rose (Live)", "Über.mp3",
    "Señor.wav", "Niño", "Mañana", "Ça", "Où", "Été.mp3", "Hörst du", "Muß", "Daß", "Größe.mp3", "Fantômas",
    "Rammstein - Mutter (Live à Nîmes)", "Ärzte - Schrei nach Liebe", "Kraftwerk - Radioaktivität",
    "Stromae - Alors on danse (feat. Kanye Wést)", "Amélie", "Les Misérables", "Mañana (feat. Shakira)",
    "Shakira - Addicted to You (Acústico)", "Jürgen", "Émilie Simon",
    "05. Héroes del Silencio - Entre dos tierras.mp3", "Track 12 - Für Elise.mp3", "Beethoven - Für Elise", "Zoé",
    "Noël", "Åsa", "Øystein", "Ísland", "Þórir", "Ägypten", "Ñandú", "Joe Dassin - L'été indien (Live)",
    "Céline Dion feat. Garou - Sous le vent", "Mylène Farmer - Désenchantée (Remix)", "Über", "Señor",
    "Vive la France (Remix) – Zaz, Été 2014",
    // One accented letter among English words.
    "Zoë Keating - Sun Will Set", "Zoë Keating - Optimist", "Beyoncé - Crazy in Love", "Michael Bublé - Home",
    "Sinéad O'Connor - Nothing Compares 2 U", "Motörhead - Ace of Spades", "Noël Gallagher - The Death of You and Me",
    "Chloë Howl - No Strings", "José González - Heartbeats", "Blue Öyster Cult - Don't Fear the Reaper",
    "Queensrÿche - Silent Lucidity", "Anaïs Mitchell - Wedding Song", "Röyksopp - What Else Is There",
    "Jay-Z feat. Beyoncé - Bonnie & Clyde", "Pokémon Theme", "Naïve Song", "Gotye - Somebody (Café)",
};

struct SeenChooser {
    QString title, shownPath; // the chosen folder's path as its label shows it
    QByteArray openedAt;
    QStringList listed;  // the folders shown where it opened
    QStringList buttons; // their texts
    int columns = -1;    // the tree's columns, when it shows no header
};
// Answers the next folder chooser as a user would: opens the folders shown as the parts of
// pick, one below the other from where the chooser opened, and chooses the last; cancels
// when pick is empty.
void AnswerFolderChooser(const QString &pick, SeenChooser *seen)
{
    QTimer::singleShot(0, [=] {
        auto *dialog = qobject_cast<TFolderChooser *>(QApplication::activeModalWidget());
        if (!dialog)
            return AnswerFolderChooser(pick, seen);
        QTreeWidgetItem *at = dialog->Tree()->currentItem();
        seen->title = dialog->windowTitle();
        seen->openedAt = TFolderChooser::PathOf(at);
        seen->columns = dialog->Tree()->isHeaderHidden() ? dialog->Tree()->columnCount() : -1;
        for (int i = 0; i < at->childCount(); ++i)
            seen->listed << at->child(i)->text(0);
        for (const QString &part : pick.split('/', Qt::SkipEmptyParts)) {
            at->setExpanded(true);
            const QList<QTreeWidgetItem *> below = dialog->Tree()->findItems(part, Qt::MatchExactly | Qt::MatchRecursive);
            const auto next = std::find_if(below.begin(), below.end(), [at](QTreeWidgetItem *i) { return i->parent() == at; });
            if (next == below.end())
                return dialog->reject();
            at = *next;
        }
        dialog->Tree()->setCurrentItem(at);
        seen->shownPath = dialog->findChild<QLabel *>(QStringLiteral("FolderPath"))->text();
        QAbstractButton *answer = nullptr;
        for (QAbstractButton *b : dialog->findChildren<QAbstractButton *>()) {
            seen->buttons << b->text();
            if (b->text() == (pick.isEmpty() ? QStringLiteral("Отмена") : QStringLiteral("Выбрать")))
                answer = b;
        }
        answer ? answer->click() : dialog->reject();
    });
}

// A window that disables the main one, counting its builds and its close handler's runs.
class Secondary : public QWidget {
public:
    Secondary() { protocol = new SecondaryWindow(this, [this] { ++built; }, [this] { ++closes, protocol->Close(); }); }
    void setVisible(bool visible) override
    {
        if (visible)
            protocol->Showing();
        QWidget::setVisible(visible);
    }
    SecondaryWindow *protocol;
    int built = 0, closes = 0;
};

} // namespace

class TestRuntime : public QObject {
    Q_OBJECT
private slots:
    void displayTextFallsBackToWindows1251_data()
    {
        // What counts as UTF-8 is exactly what Unicode allows: no overlong form, no surrogate,
        // nothing past U+10FFFF, no sequence cut short. Anything else is read a byte a character.
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("chars"); // as CharCount and CutToChars count them
        QTest::addColumn<QString>("text"); // null: not UTF-8, read one character a byte
        const auto row = [](const char *name, const QByteArray &bytes, int chars, const QString &text) {
            QTest::newRow(name) << bytes << chars << text;
        };
        row("windows-1251", "\xcf\xe5\xf1\xed\xff.mp3", 9, QStringLiteral("Песня.mp3"));
        row("UTF-8", "\xd0\x9f\xd0\xb5", 2, QStringLiteral("Пе"));
        row("UTF-8 after ASCII", "ab\xe2\x82\xac", 3, QStringLiteral("ab€"));
        row("Yo", "\xa8\xb8", 2, QStringLiteral("Ёё"));
        row("overlong C0", "\xc0\xaf", 2, QStringLiteral("АЇ"));
        // Undefined bytes show as the C1 control of their number, in either code page.
        row("undefined in windows-1251", "\xcf\xe5\x98", 3, QStringLiteral("Пе\u0098"));
        row("undefined in windows-1252", "Caf\xe9\x81\x8d\x8f\x90\x9d", 7, QStringLiteral("Café\u0081\u008d\u008f\u0090\u009d"));
        // The bounds of each length, one character apiece.
        for (const auto &[name, bytes, c] : std::initializer_list<std::tuple<const char *, const char *, char32_t>>{
                 {"U+0080", "\xc2\x80", 0x80}, {"U+07FF", "\xdf\xbf", 0x7ff}, {"U+0800", "\xe0\xa0\x80", 0x800},
                 {"U+D7FF", "\xed\x9f\xbf", 0xd7ff}, {"U+E000", "\xee\x80\x80", 0xe000}, {"U+FFFF", "\xef\xbf\xbf", 0xffff},
                 {"U+10000", "\xf0\x90\x80\x80", 0x10000}, {"U+10FFFF", "\xf4\x8f\xbf\xbf", 0x10ffff}})
            row(name, bytes, 1, QString::fromUcs4(&c, 1));
        // No UTF-8: each sequence still counts one character, each stray byte one.
        for (const auto &[name, bytes, chars] : std::initializer_list<std::tuple<const char *, const char *, int>>{
                 {"UTF-8 beside a stray byte", "\xd0\x96\xff", 2}, {"overlong C1", "\xc1\xbf", 2},
                 {"overlong three bytes", "\xe0\x9f\xbf", 3}, {"surrogate D800", "\xed\xa0\x80", 3},
                 {"surrogate DFFF", "\xed\xbf\xbf", 3}, {"overlong four bytes", "\xf0\x8f\xbf\xbf", 4},
                 {"U+110000", "\xf4\x90\x80\x80", 4}, {"lead F5", "\xf5\x80\x80\x80", 4}, {"lone continuation", "a\x80", 2},
                 {"ASCII where a continuation belongs", "\xe2\x28\xa1", 3}, {"two bytes cut short", "a\xc3", 2},
                 {"three bytes cut short", "\xe2\x82", 2}, {"four bytes cut short", "\xf0\x9f\x98" "A", 4},
                 // What could never complete is no cut: overlong, surrogate, past U+10FFFF, a stray byte.
                 {"cut overlong", "\xd0\x96\xe0\x80", 3}, {"cut surrogate", "\xd0\x96\xed\xa0", 3},
                 {"cut past U+10FFFF", "\xd0\x96\xf4\x90", 3}, {"cut, then a stray byte", "\xd0\x96\xd0\xff", 3},
                 {"stray byte, then a cut", "\xd0\x96\xff\xd0", 3}})
            row(name, bytes, chars, QString());
        // UTF-8 cut short at its end after a letter beyond ASCII: UTF-8, the cut bytes as symbols.
        row("UTF-8 cut after its lead", "\xd0\x9f\xd0", 2, QStringLiteral("П\u28d0"));
        row("UTF-8 cut after two of three", "\xd0\x96 \xe2\x82", 4, QStringLiteral("Ж \u28e2\u2882"));
        row("UTF-8 cut after three of four", "\xc3\xa9\xf0\x9f\x98", 4, QStringLiteral("é\u28f0\u289f\u2898"));
        row("mark, then a cut", "\xef\xbb\xbf\xc3", 2, QStringLiteral("\ufeff\u28c3"));
        row("cut after ASCII only", "Caf\xe9", 4, QStringLiteral("Café"));
        // A byte-order mark is part of the name: it shows, so the text leads back to it.
        row("byte-order mark", "\xef\xbb\xbfsong", 5, QStringLiteral("\ufeffsong"));
        row("two marks", "\xef\xbb\xbf\xef\xbb\xbf", 2, QStringLiteral("\ufeff\ufeff"));
    }
    void displayTextFallsBackToWindows1251()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, chars);
        QFETCH(QString, text);
        QCOMPARE(CharCount(bytes), qsizetype(chars));
        QCOMPARE(CutToChars(bytes + "z", chars), bytes);
        // One character fewer: a prefix, never half a character.
        const QByteArray shorter = CutToChars(bytes, chars - 1);
        QVERIFY(bytes.startsWith(shorter));
        QCOMPARE(CharCount(shorter), qsizetype(chars - 1));
        const QString shown = DisplayText(bytes);
        // Bytes past the given size are never looked at, even when they would complete a sequence.
        QCOMPARE(DisplayText(QByteArray(bytes + "\x80\x80\x80").constData(), bytes.size()), shown);
        if (text.isNull())
            QCOMPARE(shown.size(), bytes.size());
        else
            QCOMPARE(shown, text);
    }

    void displayTextReadsRussianAndWesternTagTexts_data()
    {
        QTest::addColumn<QByteArray>("codePage");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("Russian") << QByteArray("windows-1251") << kRussianTexts;
        QTest::newRow("Western") << QByteArray("windows-1252") << kWesternTexts;
        QTest::newRow("UTF-8") << QByteArray("UTF-8") << kRussianTexts + kWesternTexts;
    }
    void displayTextReadsRussianAndWesternTagTexts()
    {
        QFETCH(QByteArray, codePage);
        QFETCH(QStringList, texts);
        // The bytes come from ICU's tables, not from the code under test.
        QStringEncoder encoder(codePage.constData());
        QVERIFY(encoder.isValid());
        QStringList misread;
        for (const QString &text : texts) {
            const QByteArray bytes = encoder.encode(text);
            QVERIFY(!encoder.hasError());
            // Whole, and cut as a tag field cuts it, at 30 bytes: in a single-byte code page
            // that is 30 characters; in UTF-8 the whole characters that fit, then the bytes
            // of the one cut in two, each its own symbol.
            QString cut = text;
            while (QByteArray(encoder.encode(cut)).size() > 30)
                cut.chop(1);
            for (qsizetype b = QByteArray(encoder.encode(cut)).size(); b < qMin(bytes.size(), qsizetype(30)); ++b)
                cut += QChar(char16_t(0x2800 + quint8(bytes[b])));
            const bool whole = DisplayText(bytes) == text;
            // (A cut before any letter beyond ASCII is no UTF-8 to go by.)
            const bool wide = std::any_of(cut.begin(), cut.end(), [](QChar c) { return c.unicode() >= 0x80 && c.unicode() < 0x2800; });
            const bool cutRight = DisplayText(bytes.left(30)) == cut || (codePage == "UTF-8" && !wide);
            if (!whole || !cutRight)
                misread << text;
        }
        QCOMPARE(misread, QStringList());
    }

    void displayTextMapsBackToEveryByteString()
    {
        const auto roundTrips = [](const QByteArray &bytes) {
            const QList<QByteArray> sources = DisplayTextSources(DisplayText(bytes));
            for (const QByteArray &other : sources)
                if (DisplayText(other) != DisplayText(bytes))
                    return false;
            return sources.contains(bytes);
        };
        // Every byte value, alone and next to Latin, Cyrillic, Western and UTF-8 text.
        for (const QByteArray &context : {QByteArray(""), QByteArray("ab"), QByteArray("\xcf\xe5\xf1\xed\xff"),
                                          QByteArray("Man\xe1"), QByteArray("\xd0\x9f\xd0\xb5"), QByteArray("\xef\xbb\xbf")})
            for (int b = 1; b < 256; ++b)
                for (const QByteArray &bytes : {context + char(b), char(b) + context})
                    QVERIFY2(roundTrips(bytes), bytes.toHex().constData());
        // And random byte strings of every length up to 12.
        std::uint32_t x = 2024;
        for (int n = 0; n < 20000; ++n) {
            QByteArray bytes;
            for (int len = n % 12 + 1; len > 0; --len) {
                x = x * 1664525u + 1013904223u;
                bytes += char(1 + (x >> 24) % 255);
            }
            QVERIFY2(roundTrips(bytes), bytes.toHex().constData());
        }
        // A UTF-8 name and its windows-1251 twin show alike: both are offered, UTF-8 first.
        QCOMPARE(DisplayTextSources(QStringLiteral("Песня")),
                 (QList<QByteArray>{"\xd0\x9f\xd0\xb5\xd1\x81\xd0\xbd\xd1\x8f", "\xcf\xe5\xf1\xed\xff"}));
    }

    void errorTextsReachTheErrorBox_data()
    {
        QTest::addColumn<int>("code"); // an errno value; 0: the text as it stands; -1: a file-open error
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("boxed"); // "." follows what sorts after it
        // These end in a letter or a digit, or are empty.
        const auto row = [](const char *name, int code, const QString &text) {
            QTest::newRow(name) << code << text << (text.isEmpty() ? text : text + '.');
        };
        for (const auto &[name, code, text] : std::initializer_list<std::tuple<const char *, int, const char *>>{
                 {"ENOENT", ENOENT, "File not found"}, {"ENOTDIR", ENOTDIR, "Path not found"},
                 {"EMFILE", EMFILE, "Too many open files"}, {"ENFILE", ENFILE, "Too many open files"},
                 {"EACCES", EACCES, "File access denied"}, {"EPERM", EPERM, "File access denied"},
                 {"EISDIR", EISDIR, "File access denied"}, {"EROFS", EROFS, "File access denied"},
                 {"ETXTBSY", ETXTBSY, "File access denied"}, {"ENOSPC", ENOSPC, "Disk full"},
                 {"EDQUOT", EDQUOT, "Disk full"}, {"EFBIG", EFBIG, "Disk full"}, {"EIO", EIO, "Read or write error"},
                 {"other: its number", EINVAL, "I/O error 22"}, {"Cyrillic", 0, "Файл"}, {"empty", 0, ""}})
            row(name, code, QString::fromUtf8(text));
        QTest::newRow("full stop") << 0 << QStringLiteral("Done.") << QStringLiteral("Done.");
        QTest::newRow("exclamation mark") << 0 << QStringLiteral("Why!") << QStringLiteral("Why!");
        // The absolute path and the reason.
        row("file-open error", -1, QStringLiteral("Cannot open file \"%1/missing.mp3\". No such file or directory")
                                       .arg(QDir::currentPath()));
    }
    void errorTextsReachTheErrorBox()
    {
        QFETCH(int, code);
        QFETCH(QString, text);
        QFETCH(QString, boxed);
        if (code > 0)
            QCOMPARE(EInOutError::TextFor(code), text);
        QCOMPARE(ErrorBoxText(text), boxed);
        // Escaping a handler, the error ends it and is shown in the box.
        FakeDialogs dialogs;
        RunHandler([&] {
            if (code < 0)
                EFOpenError::Raise("missing.mp3", ENOENT);
            code ? EInOutError::Raise(code) : throw Exception(text);
        });
        QCOMPARE(dialogs.errors, QStringList{boxed});
    }

    // Folders go by their bytes, whatever their names' code: listed, shown as the rest of the
    // program shows names, chosen and returned as they are. Everything else it says is Russian.
    void folderChooser_data()
    {
        QTest::addColumn<QByteArray>("preselected"); // under a scratch folder unless absolute
        QTest::addColumn<QString>("pick");            // folders as shown, from where it opens; empty: cancel
        QTest::addColumn<QByteArray>("chosen");       // under the scratch folder; null: none
        const QByteArray papka("\xcf\xe0\xef\xea\xe0"); // "Папка" in windows-1251
        QTest::newRow("a UTF-8 folder") << QByteArray("") << QStringLiteral("Музыка/rock") << QByteArray("Музыка/rock");
        QTest::newRow("a windows-1251 folder") << QByteArray("") << QStringLiteral("Папка") << papka;
        QTest::newRow("opened inside one") << papka << QStringLiteral("Старое") << papka + "/\xd1\xf2\xe0\xf0\xee\xe5";
        // A preselection that is gone is neither shown nor kept.
        QTest::newRow("cancel forgets a missing preselection") << QByteArray("/no/such/folder/at/all") << QString()
                                                               << QByteArray();
    }
    void folderChooser()
    {
        QFETCH(QByteArray, preselected);
        QFETCH(QString, pick);
        QFETCH(QByteArray, chosen);
        QTemporaryDir scratch;
        const QByteArray root = QFile::encodeName(scratch.path());
        for (const QByteArray &folder : {QByteArray("Музыка"), QByteArray("Музыка/rock"), QByteArray("\xcf\xe0\xef\xea\xe0"),
                                         QByteArray("\xcf\xe0\xef\xea\xe0/\xd1\xf2\xe0\xf0\xee\xe5"), QByteArray(".скрытая")})
            QVERIFY(::mkdir((root + '/' + folder).constData(), 0700) == 0);
        QVERIFY(WriteBytes(root + "/файл.wav", "x"));
        const auto under = [&root](const QByteArray &path) {
            return path.isNull() || path.startsWith('/') ? path : path.isEmpty() ? root : root + '/' + path;
        };
        SeenChooser seen;
        AnswerFolderChooser(pick, &seen);
        QByteArray directory = under(preselected);
        QCOMPARE(SelectFolder(QStringLiteral("Выберите папку"), QByteArray(), directory), !chosen.isNull());
        QCOMPARE(seen.title, QStringLiteral("Выберите папку"));
        QCOMPARE(directory, under(chosen));
        QCOMPARE(seen.openedAt == under(preselected), !preselected.startsWith('/'));
        if (preselected.isEmpty()) // the folders only, hidden ones left out, by name
            QCOMPARE(seen.listed, (QStringList{QStringLiteral("Музыка"), QStringLiteral("Папка")}));
        if (!chosen.isNull())
            QCOMPARE(seen.shownPath, QStringLiteral("Папка: ") + DisplayText(under(chosen)));
        // All it says is Russian: no type or date columns, no header.
        QCOMPARE(seen.buttons, (QStringList{QStringLiteral("Выбрать"), QStringLiteral("Отмена")}));
        QCOMPARE(seen.columns, 1);
    }

    void realBoxesArePlainTextUnderTheTitleWithOneOk_data()
    {
        QTest::addColumn<QMessageBox::Icon>("icon");
        QTest::newRow("message") << QMessageBox::NoIcon;
        QTest::newRow("error") << QMessageBox::Critical;
    }
    void realBoxesArePlainTextUnderTheTitleWithOneOk()
    {
        QFETCH(QMessageBox::Icon, icon);
        const QString title = ApplicationTitle();
        SetApplicationTitle(QStringLiteral("ZOLM Player - <i>a</i>.mp3"));
        // A file name may hold markup: it is shown as it stands.
        const QString text = QStringLiteral("Ошибка обращения к файлу <b>x</b> & y.mp3");
        DialogHost real;
        struct {
            QString title, text;
            QMessageBox::Icon icon = QMessageBox::Question;
            Qt::TextFormat format = Qt::RichText;
            qsizetype buttons = 0;
            QPoint centre;
        } seen; // what the box showed, read while it is up
        OnNextBox([&seen](QMessageBox *box) {
            seen = {box->windowTitle(), box->text(), box->icon(), box->textFormat(), box->buttons().size(), box->geometry().center()};
        });
        icon == QMessageBox::Critical ? real.ShowError(text) : real.ShowMessage(text);
        SetApplicationTitle(title);
        QCOMPARE(seen.title, QStringLiteral("ZOLM Player - <i>a</i>.mp3"));
        QCOMPARE(seen.text, text);
        QCOMPARE(seen.format, Qt::PlainText);
        QCOMPARE(seen.icon, icon);
        QCOMPARE(seen.buttons, 1);
        const QPoint off = seen.centre - QGuiApplication::primaryScreen()->availableGeometry().center(); // centred, give or take rounding
        QVERIFY2(qAbs(off.x()) <= 3 && qAbs(off.y()) <= 3, qPrintable(QStringLiteral("%1,%2").arg(off.x()).arg(off.y())));
    }

    void secondaryWindowGivesTheMainWindowBackOnEveryWayOut_data()
    {
        QTest::addColumn<QString>("way");
        QTest::newRow("close box or close key") << QStringLiteral("close");
        QTest::newRow("its own button") << QStringLiteral("button");
        QTest::newRow("destroyed") << QStringLiteral("destroyed");
    }
    void secondaryWindowGivesTheMainWindowBackOnEveryWayOut()
    {
        QFETCH(QString, way);
        QWidget main;
        SetMainWindow(&main);
        auto *window = new Secondary;
        QCOMPARE(window->built, 0); // nothing made until it is shown
        OpenSecondaryWindow(window);
        QVERIFY(window->isVisible() && !main.isEnabled() && window->built == 1);
        if (way == QLatin1String("close")) {
            window->close();
            QCOMPARE(window->closes, 1); // through the window's own handler
        } else if (way == QLatin1String("button")) {
            window->protocol->Close();
        } else {
            delete std::exchange(window, nullptr);
        }
        QVERIFY(main.isEnabled());
        QVERIFY(!window || !window->isVisible());
        delete window;
        SetMainWindow(nullptr);
    }
};

QTEST_MAIN(TestRuntime)
#include "tst_runtime.moc"
