#include "app/shell/LXPrefsWindowController.h"

#include <QAction>
#include <QActionGroup>
#include <QGraphicsOpacityEffect>
#include <QGuiApplication>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>
#include <QScreen>
#include <QToolBar>

#include "app/shell/WindowPlacement.h"

namespace orv {

LXPrefsWindowController::LXPrefsWindowController() : window_(new QMainWindow)
{
    window_->setObjectName(QStringLiteral("Preference"));
    window_->resize(1000, 1000);
    contentSubview_ = new QWidget(window_);
    window_->setCentralWidget(contentSubview_);
}

LXPrefsWindowController::~LXPrefsWindowController() { delete window_.data(); }

void LXPrefsWindowController::addView(QWidget* view, const QString& label, const QIcon& image)
{
    const QString identifier = label;
    toolbarIdentifiers_.append(identifier);
    toolbarViews_.insert(identifier, view);
    auto* item = new QAction(image, label, this);
    item->setObjectName(identifier);
    item->setCheckable(true);
    connect(item, &QAction::triggered, this, [this, item] { toggleActivePreferenceView(item); });
    toolbarItems_.insert(identifier, item);
}

QWidget* LXPrefsWindowController::keepOnlyLastPane()
{
    QWidget* last = nullptr;
    const QList<QWidget*> children = contentSubview_->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget* child : children) {
        if (child->isHidden())
            continue;
        if (last) {
            last->hide();
            last->setParent(nullptr);
        }
        last = child;
    }
    return last;
}

void LXPrefsWindowController::showWindow()
{
    for (QAction* item : std::as_const(toolbarItems_))
        item->deleteLater();
    toolbarIdentifiers_.clear();
    toolbarViews_.clear();
    toolbarItems_.clear();
    setupToolbar();

    if (!toolbar_) {
        toolbar_ = new QToolBar(window_);
        toolbar_->setObjectName(QStringLiteral("DBPreferencesToolbar"));
        toolbar_->setMovable(false);
        toolbar_->setFloatable(false);
        toolbar_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        toolbar_->toggleViewAction()->setVisible(false);
        window_->addToolBar(Qt::TopToolBarArea, toolbar_);
    }
    toolbar_->clear();
    auto* group = new QActionGroup(toolbar_);
    for (const QString& identifier : std::as_const(toolbarIdentifiers_)) {
        group->addAction(toolbarItems_[identifier]);
        toolbar_->addAction(toolbarItems_[identifier]);
    }

    if (!toolbarIdentifiers_.isEmpty())
        displayViewForIdentifier(toolbarIdentifiers_.first(), false);

    centreOnScreen(window_);
    window_->show();
}

void LXPrefsWindowController::toggleActivePreferenceView(QAction* item)
{
    displayViewForIdentifier(item->objectName(), true);
}

void LXPrefsWindowController::displayViewForIdentifier(const QString& identifier, bool animate)
{
    QWidget* newView = toolbarViews_.value(identifier);
    if (!newView)
        return;
    if (QAction* item = toolbarItems_.value(identifier))
        item->setChecked(true);

    QWidget* oldView = keepOnlyLastPane();
    if (newView == oldView)
        return;

    newView->setParent(contentSubview_);
    newView->move(0, 0);  // top-aligned
    newView->resize(newView->sizeHint().expandedTo(newView->size()));
    if (animate && crossFade_ && oldView) {
        newView->show();
        crossFadeView(oldView, newView);
    } else {
        if (oldView) {
            oldView->hide();
            oldView->setParent(nullptr);
        }
        newView->show();
        window_->setGeometry(frameForView(newView));
    }
    window_->setWindowTitle(toolbarItems_.value(identifier) ? toolbarItems_.value(identifier)->text() : identifier);
    didViewChanged(newView);
}

QRect LXPrefsWindowController::frameForView(QWidget* view) const
{
    // Geometry of the client area: keep its top-left, fit the pane plus the toolbar.
    const int chrome = toolbar_ && !toolbar_->isHidden() ? toolbar_->sizeHint().height() : 0;
    const QRect current = window_->geometry();
    return QRect(current.topLeft(), QSize(view->width(), chrome + view->height()));
}

int LXPrefsWindowController::crossFadeDurationMs(bool shiftHeld) const
{
    return shiftSlowsAnimation_ && shiftHeld ? 1250 : 250;
}

void LXPrefsWindowController::crossFadeView(QWidget* oldView, QWidget* newView)
{
    if (viewAnimation_)
        viewAnimation_->stop();
    const bool shiftHeld = QGuiApplication::queryKeyboardModifiers() & Qt::ShiftModifier;
    const int duration = crossFadeDurationMs(shiftHeld);

    auto* oldEffect = new QGraphicsOpacityEffect(oldView);
    oldView->setGraphicsEffect(oldEffect);
    auto* newEffect = new QGraphicsOpacityEffect(newView);
    newView->setGraphicsEffect(newEffect);

    auto* group = new QParallelAnimationGroup(this);
    auto add = [group, duration](QObject* target, const char* property, const QVariant& from, const QVariant& to) {
        auto* animation = new QPropertyAnimation(target, property, group);
        animation->setDuration(duration);
        animation->setEasingCurve(QEasingCurve::InOutQuad);
        animation->setStartValue(from);
        animation->setEndValue(to);
        group->addAnimation(animation);
    };
    add(oldEffect, "opacity", 1.0, 0.0);
    add(newEffect, "opacity", 0.0, 1.0);
    add(window_, "geometry", window_->geometry(), frameForView(newView));
    connect(group, &QParallelAnimationGroup::finished, this, &LXPrefsWindowController::animationDidEnd);
    viewAnimation_ = group;
    group->start(QAbstractAnimation::DeleteWhenStopped);
}

void LXPrefsWindowController::animationDidEnd()
{
    QWidget* last = keepOnlyLastPane();
    if (last)
        last->setGraphicsEffect(nullptr);
    if (QWidget* focus = window_->focusWidget())
        focus->clearFocus();
}

}  // namespace orv
