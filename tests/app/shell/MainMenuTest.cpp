// The menu bar every window of ours carries: where it sits in each kind of
// window, that its texts come from the table, and that its Quit ends the
// application even while a window refuses to close.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QMainWindow>
#include <QMenu>
#include <QTimer>

#include "app/shell/AppDelegate.h"
#include "app/shell/ApplicationQuit.h"
#include "app/shell/L10n.h"
#include "app/shell/MainMenu.h"
#include "app/toolkit/AWAppStoreWindow.h"

namespace orv {
namespace {

// A window that turns every close request down, as a device window turns
// down a close it did not start itself.
class RefusingWindow : public QWidget {
protected:
    void closeEvent(QCloseEvent* event) override { event->ignore(); }
};

// Runs the application's event loop with `during` queued inside it; the
// loop's exit code, or 1 when nothing ended it within the deadline.
int runEventLoop(const std::function<void()>& during)
{
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    deadline.start(20000);
    QTimer::singleShot(0, during);
    return QApplication::exec();
}

class MainMenuTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("ORVANE_RESOURCE_DIR", ORVANE_SOURCE_DIR "/resources");
        ASSERT_TRUE(L10n::load(L10n::defaultTablePath()));
    }
    void TearDown() override
    {
        qunsetenv("ORVANE_RESOURCE_DIR");
        L10n::setTable({});
    }

    AppDelegate delegate_;
};

TEST_F(MainMenuTest, SitsWhereEachKindOfWindowLeavesRoom)
{
    QMainWindow main;
    MainMenu* mainMenu = MainMenu::attach(&main, delegate_);
    EXPECT_EQ(main.menuBar(), mainMenu->menuBar());

    QWidget laidOut;
    auto* layout = new QHBoxLayout(&laidOut);
    layout->addWidget(new QWidget);
    MainMenu* laidOutMenu = MainMenu::attach(&laidOut, delegate_);
    EXPECT_EQ(layout->menuBar(), laidOutMenu->menuBar());

    // Our own title bar: beside the window's buttons, inside the bar.
    AWAppStoreWindow drawn;
    drawn.setTitleBarHeight(36, false);
    drawn.resize(1035, 685);
    MainMenu* drawnMenu = MainMenu::attach(&drawn, delegate_);
    drawn.show();
    const QRect bar = drawnMenu->menuBar()->geometry();
    ASSERT_NE(drawn.zoomButton(), nullptr);
    EXPECT_GT(bar.left(), drawn.zoomButton()->mapTo(&drawn, QPoint(drawn.zoomButton()->width(), 0)).x());
    EXPECT_GE(bar.top(), 0);
    EXPECT_LE(bar.bottom(), 36);
    EXPECT_GT(bar.width(), 0);

    // Any other window: along the top edge, following the width.
    QWidget plain;
    plain.resize(600, 380);
    MainMenu* plainMenu = MainMenu::attach(&plain, delegate_);
    plain.show();
    plain.resize(700, 380);
    EXPECT_EQ(plainMenu->menuBar()->geometry().topLeft(), QPoint(0, 0));
    EXPECT_EQ(plainMenu->menuBar()->width(), 700);
}

TEST_F(MainMenuTest, ItemsReadTheirTextsFromTheTable)
{
    QWidget window;
    MainMenu* menu = MainMenu::attach(&window, delegate_);
    const std::pair<const char*, const char*> items[] = {
        {"aboutAction", "About Orvane"},        {"preferenceAction", "Preferences…"},
        {"quitAction", "Quit Orvane"},          {"deviceListAction", "Devices List"},
        {"quickguideAction", "Quick Guide"},    {"helpAction", "Orvane Help"},
    };
    for (const auto& [name, text] : items) {
        QAction* action = menu->action(QLatin1String(name));
        ASSERT_NE(action, nullptr) << name;
        EXPECT_EQ(action->text(), QString::fromUtf8(text)) << name;
    }
    QStringList titles;
    for (QAction* top : menu->menuBar()->actions())
        titles << top->text();
    EXPECT_EQ(titles, (QStringList{"Orvane", "Window", "Help"}));
}

TEST_F(MainMenuTest, QuitEndsTheApplicationThoughAWindowRefusesToClose)
{
    RefusingWindow refusing;
    refusing.show();
    MainMenu* menu = MainMenu::attach(&refusing, delegate_);
    EXPECT_EQ(runEventLoop([menu] { menu->action("quitAction")->trigger(); }), 0);

    // On a termination signal the same way out ends a modal question first.
    EXPECT_EQ(runEventLoop([] {
                  QTimer::singleShot(0, [] { quitApplication(); });
                  QWidget question;
                  question.setWindowModality(Qt::ApplicationModal);
                  question.show();
                  QEventLoop modalLoop;
                  modalLoop.exec();
              }),
              0);
    EXPECT_TRUE(refusing.isVisible());
}

}  // namespace
}  // namespace orv
