#include "app/shell/MainMenu.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QLayout>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include "app/shell/AppDelegate.h"
#include "app/shell/ApplicationQuit.h"
#include "app/shell/L10n.h"
#include "app/toolkit/AWAppStoreWindow.h"

namespace orv {

namespace {

constexpr char kObjectName[] = "MainMenu";
constexpr int kGapAfterWindowButtons = 12;

}  // namespace

MainMenu* MainMenu::attach(QWidget* window, AppDelegate& delegate)
{
    if (!window)
        return nullptr;
    if (MainMenu* existing = of(window))
        return existing;
    return new MainMenu(window, delegate);
}

MainMenu* MainMenu::of(const QWidget* window)
{
    return window ? window->findChild<MainMenu*>(QLatin1String(kObjectName), Qt::FindDirectChildrenOnly) : nullptr;
}

MainMenu::MainMenu(QWidget* window, AppDelegate& delegate) : QObject(window), window_(window)
{
    setObjectName(QLatin1String(kObjectName));
    if (auto* mainWindow = qobject_cast<QMainWindow*>(window)) {
        bar_ = new QMenuBar(mainWindow);
        mainWindow->setMenuBar(bar_);
    } else if (QLayout* layout = window->layout()) {
        bar_ = new QMenuBar(window);
        layout->setMenuBar(bar_);
    } else {
        bar_ = new QMenuBar(window);
        placedByHand_ = true;
        if (qobject_cast<AWAppStoreWindow*>(window)) {
            // The title bar's drawing shows through.
            bar_->setAttribute(Qt::WA_TranslucentBackground);
            bar_->setStyleSheet(QStringLiteral("QMenuBar { background: transparent; }"));
        }
        window->installEventFilter(this);
    }
    bar_->setObjectName(QStringLiteral("MainMenuBar"));
    // Each window shows its own bar, even where the desktop offers a global one:
    // windows without the bar would otherwise lose the menu.
    bar_->setNativeMenuBar(false);
    build(delegate);
    if (placedByHand_)
        place();
    bar_->show();
}

void MainMenu::build(AppDelegate& delegate)
{
    auto add = [this, &delegate](QMenu* menu, const char* name, const char* key, const QKeySequence& shortcut,
                                 void (AppDelegate::*run)()) {
        QAction* action = menu->addAction(L10n::text(key));
        action->setObjectName(QLatin1String(name));
        action->setShortcut(shortcut);
        QAction::connect(action, &QAction::triggered, &delegate, run);
        return action;
    };

    QMenu* application = bar_->addMenu(L10n::text("MenuApplication"));
    add(application, "aboutAction", "MenuAbout", {}, &AppDelegate::aboutAction);
    application->addSeparator();
    add(application, "preferenceAction", "MenuPreferences", QKeySequence(Qt::CTRL | Qt::Key_Comma),
        &AppDelegate::preferenceAction);
    application->addSeparator();
    QAction* quit = application->addAction(L10n::text("MenuQuit"));
    quit->setObjectName(QStringLiteral("quitAction"));
    quit->setShortcut(QKeySequence::Quit);
    quit->setMenuRole(QAction::QuitRole);
    // Once the menu has closed; the termination step runs as exec() returns.
    QAction::connect(quit, &QAction::triggered, qApp, [] { quitApplication(); }, Qt::QueuedConnection);

    QMenu* windows = bar_->addMenu(L10n::text("MenuWindow"));
    add(windows, "deviceListAction", "Devices List", {}, &AppDelegate::deviceListAction);
    add(windows, "quickguideAction", "MenuQuickGuide", {}, &AppDelegate::quickguideAction);

    QMenu* help = bar_->addMenu(L10n::text("MenuHelp"));
    add(help, "helpAction", "MenuOrvaneHelp", QKeySequence::HelpContents, &AppDelegate::helpAction);
}

QAction* MainMenu::action(const QString& name) const
{
    return bar_ ? bar_->findChild<QAction*>(name) : nullptr;
}

bool MainMenu::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == window_ && (event->type() == QEvent::Resize || event->type() == QEvent::Show))
        place();
    return QObject::eventFilter(watched, event);
}

void MainMenu::place()
{
    if (!bar_)
        return;
    const int height = bar_->sizeHint().height();
    if (auto* drawn = qobject_cast<AWAppStoreWindow*>(window_)) {
        // In the title bar, after the close, minimise and zoom buttons.
        int left = 0;
        for (QWidget* button : {static_cast<QWidget*>(drawn->closeButton()), static_cast<QWidget*>(drawn->minimizeButton()),
                                static_cast<QWidget*>(drawn->zoomButton())}) {
            if (button)
                left = std::max(left, button->mapTo(drawn, QPoint(button->width(), 0)).x());
        }
        left += kGapAfterWindowButtons;
        const int top = std::max(0, (int(drawn->titleBarHeight()) - height) / 2);
        bar_->setGeometry(left, top, bar_->sizeHint().width(), height);
    } else {
        bar_->setGeometry(0, 0, window_->width(), height);
    }
    bar_->raise();
}

}  // namespace orv
