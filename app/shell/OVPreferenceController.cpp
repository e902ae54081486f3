#include "app/shell/OVPreferenceController.h"

#include <QIcon>
#include <QVBoxLayout>

#include "app/shell/L10n.h"
#include "app/shell/Prefs.h"

namespace orv {

OVPreferenceController& OVPreferenceController::shared()
{
    static OVPreferenceController* controller = new OVPreferenceController;  // lives as long as the process
    return *controller;
}

OVPreferenceController::OVPreferenceController() : generalPreferenceView_(new QWidget)
{
    generalPreferenceView_->setObjectName(QStringLiteral("General"));
    auto* layout = new QVBoxLayout(generalPreferenceView_);
    layout->setContentsMargins(40, 24, 40, 24);
    layout->setSpacing(10);
    autopopButton_ = addBox(QStringLiteral("launchAtLogin"));
    for (const char* key : {"ShowHiddenFiles", "ShowLeftBadge", "UseSoundEffect", "UseFaceDetection",
                            "ShowProgressFilePath", "UseWatchCommand"})
        addBox(QString::fromLatin1(key));
    layout->addStretch();
    generalPreferenceView_->resize(460, generalPreferenceView_->sizeHint().height());

    connect(&Prefs::shared(), &Prefs::changed, this, [this](const QString& key) {
        if (QCheckBox* box = checkBoxForKey(key)) {
            QSignalBlocker block(box);
            box->setChecked(Prefs::shared().boolValue(key));
        }
    });
}

OVPreferenceController::~OVPreferenceController()
{
    if (generalPreferenceView_ && !generalPreferenceView_->parent())
        delete generalPreferenceView_.data();
}

QCheckBox* OVPreferenceController::addBox(const QString& key)
{
    auto* box = new QCheckBox(generalPreferenceView_);
    box->setObjectName(key);
    box->setChecked(Prefs::shared().boolValue(key));
    connect(box, &QCheckBox::toggled, this, [key](bool on) { Prefs::shared().setValue(key, on); });
    generalPreferenceView_->layout()->addWidget(box);
    boxes_.emplace_back(key, box);
    return box;
}

QCheckBox* OVPreferenceController::checkBoxForKey(const QString& key) const
{
    for (const auto& [boxKey, box] : boxes_) {
        if (boxKey == key)
            return box;
    }
    return nullptr;
}

void OVPreferenceController::setupToolbar()
{
    setCrossFade(false);
    setShiftSlowsAnimation(false);
    for (const auto& [key, box] : boxes_) {
        box->setText(L10n::text(box == autopopButton_ ? QStringLiteral("AutoPopWindowAfterPluginPhone") : key));
        QSignalBlocker block(box);
        box->setChecked(Prefs::shared().boolValue(key));
    }
    addView(generalPreferenceView_, L10n::text("General"),
            QIcon::fromTheme(QStringLiteral("preferences-system"), QIcon::fromTheme(QStringLiteral("preferences-other"))));
}

}  // namespace orv
