#pragma once
// The table of app-data folders of the phone: lower-cased paths relative to
// the storage root, each with the application's names ("name_en",
// "name_ch"), an application image ("imagename") or an Android package id
// ("id"). The shell fills it from the "apps" resource at start-up, and says
// whether the internet is reachable; the view models only read it.

#include <QHash>
#include <QString>
#include <QVariantMap>
#include <functional>

namespace orv {

class OVAppFolderTable {
public:
    using Entry = QVariantMap;

    static void setEntries(QHash<QString, Entry> entries);
    // The entry for a root-relative path (compared lower-cased); empty when none.
    static Entry entry(const QString& rootRelativePath);

    // Whether the icon server can be reached; unset means yes.
    static void setConnectionCheck(std::function<bool()> check);
    static bool connectionOK();

    // The icon server that app icons are fetched from ("AppIconServer" in
    // the settings, else the maker's server), unless set here.
    static void setIconServer(const QString& baseUrl);
    static QString iconServer();
};

}  // namespace orv
