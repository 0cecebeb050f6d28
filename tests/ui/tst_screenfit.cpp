#include "tests/support/ScriptedServer.h"
#include "tests/ui/MainWindowHarness.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QComboBox>
#include <QLabel>
#include <QScreen>
#include <QToolBar>
#include <QToolButton>

namespace {

bool insideScrollArea(const QWidget* widget)
{
    for (const QWidget* parent = widget->parentWidget(); parent; parent = parent->parentWidget()) {
        if (qobject_cast<const QAbstractScrollArea*>(parent))
            return true;
    }
    return false;
}

} // namespace

// The main window on a small laptop screen, 1366 × 768 as the program sees it: at scale 1, and on a screen
// of twice the pixels at scale 2. The screen comes from the environment the test is started with.
class TestScreenFit : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { qputenv("VELLORIN_UNATTENDED", "1"); }

    void fitsAndStaysSharp()
    {
        ScriptedServer server;
        ScriptStartAndLogin(server, "32768");
        MainWindowHarness harness(server.baseUrl());
        QVERIFY(harness.start() && harness.logIn());
        CTarvixDlg& window = *harness.window;

        const qreal scale = qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1")).toDouble();
        QCOMPARE(window.devicePixelRatio(), scale);
        const QRect available = window.screen()->availableGeometry();
        QCOMPARE(available.size(), QSize(1366, 768));
        QVERIFY2(available.contains(window.frameGeometry()), qPrintable(QDebug::toString(window.frameGeometry())));

        // The note of the last save, however long the question's name, takes the room beside the tabs and no
        // more.
        window.findChild<QLabel*>(QStringLiteral("lastActionLabel"))
            ->setText(QStringLiteral("12:00:00 저장함: 고등 내신기출 (2015 개정) ") +
                      QStringLiteral("수원한국고등학교 2025년 1학기 중간고사 고2 공통 서술형 12번 ").repeated(4));
        QVERIFY(window.minimumSizeHint().width() <= available.width());
        QApplication::processEvents();
        QVERIFY(available.contains(window.frameGeometry()));

        // Nothing cut off or squeezed: every control lies inside the window at no less than its least size.
        for (QWidget* control : window.findChildren<QWidget*>()) {
            // The parts of a combo box are the box's business, and what a scroll area holds may scroll.
            if (!control->isVisibleTo(&window) || qobject_cast<QComboBox*>(control->parentWidget()) ||
                insideScrollArea(control) ||
                !(qobject_cast<QAbstractButton*>(control) || qobject_cast<QComboBox*>(control) ||
                  control->focusPolicy()))
                continue;
            const QRect place(control->mapTo(&window, QPoint(0, 0)), control->size());
            const QString name = control->objectName() + u' ' + control->metaObject()->className();
            QVERIFY2(window.rect().contains(place), qPrintable(name));
            const QSize least = control->minimumSizeHint().expandedTo(control->minimumSize());
            QVERIFY2(control->width() >= least.width() && control->height() >= least.height(), qPrintable(name));
        }

        // The toolbar icons have pixels for the screen's density (the page itself is drawn, not a picture),
        // and page images come out as at any scale.
        harness.type(DocumentSlot::Question, QStringLiteral("가나다 x^2"));
        CDHwpCtrl* editor = window.Editor(DocumentSlot::Question);
        auto* bold = editor->findChild<QToolBar*>(QStringLiteral("TOOLBAR_FORMAT"))
                         ->widgetForAction(editor->findChild<QAction*>(QStringLiteral("boldAction")));
        auto* button = qobject_cast<QToolButton*>(bold);
        QVERIFY(button);
        const QPixmap icon = button->icon().pixmap(button->iconSize(), scale);
        QCOMPARE(icon.width(), qRound(button->iconSize().width() * scale));
        QVERIFY(
            editor->RenderPageImage(harness.dir.filePath(QStringLiteral("page")), 0, 96, 24, QStringLiteral("BMP")));
    }
};

QTEST_MAIN(TestScreenFit)
#include "tst_screenfit.moc"
