// Without a session bus the player starts and plays as before, and says nothing.
#include "player/PlayerHarness.h"
#include "player/Mpris.h"

#include <QtTest>

namespace {
QStringList g_messages;
void Capture(QtMsgType, const QMessageLogContext &, const QString &message)
{
    g_messages << message;
}
} // namespace

class TestMprisNoBus : public QObject {
    Q_OBJECT
private slots:
    void withoutABusThePlayerRunsSilently()
    {
        PlayerHarness h;
        TForm1 *form = h.Start(h.MakeFolder(QStringLiteral("music"), {QStringLiteral("a.wav")}));
        const QtMessageHandler previous = qInstallMessageHandler(Capture);
        Mpris *mpris = Mpris::Start(form);
        form->N6Click();
        QCoreApplication::processEvents();
        qInstallMessageHandler(previous);

        QVERIFY(!mpris);
        QCOMPARE(g_messages, QStringList());
        QVERIFY(h.Playing());
        QVERIFY(h.dialogs.messages.isEmpty());
        QVERIFY(h.dialogs.errors.isEmpty());
    }
};

QTEST_MAIN(TestMprisNoBus)
#include "tst_mpris_nobus.moc"
