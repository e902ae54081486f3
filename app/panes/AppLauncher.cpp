#include "app/panes/AppLauncher.h"

// GLib names a structure field "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#pragma pop_macro("signals")

#include <QFile>
#include <QUrl>

namespace orv {

namespace {

// Frees a GObject or a g_malloc'ed value when it leaves scope.
template <typename T, void (*Free)(T*)>
struct Owned {
    T* value = nullptr;
    ~Owned()
    {
        if (value)
            Free(value);
    }
};
void unrefObject(GAppInfo* info) { g_object_unref(info); }
void freeString(gchar* text) { g_free(text); }

QString contentTypeFor(const QString& fileName)
{
    const QByteArray name = QFile::encodeName(fileName);
    Owned<gchar, freeString> type{g_content_type_guess(name.constData(), nullptr, 0, nullptr)};
    return type.value ? QString::fromUtf8(type.value) : QString();
}

AppLauncher::Application describe(GAppInfo* info)
{
    AppLauncher::Application app;
    if (const char* id = g_app_info_get_id(info))
        app.id = QString::fromUtf8(id);
    if (const char* name = g_app_info_get_display_name(info))
        app.name = QString::fromUtf8(name);
    if (GIcon* icon = g_app_info_get_icon(info)) {
        Owned<gchar, freeString> text{g_icon_to_string(icon)};
        if (text.value)
            app.iconName = QString::fromUtf8(text.value);
    }
    return app;
}

bool launch(GAppInfo* info, const QString& path)
{
    const QByteArray uri = QUrl::fromLocalFile(path).toEncoded();
    GList uris{};
    uris.data = const_cast<char*>(uri.constData());
    GError* error = nullptr;
    const bool launched = g_app_info_launch_uris(info, &uris, nullptr, &error);
    if (error)
        g_error_free(error);
    return launched;
}

class GioLauncher final : public AppLauncher {
public:
    std::optional<Application> defaultApplicationFor(const QString& fileName) override
    {
        const QByteArray type = contentTypeFor(fileName).toUtf8();
        if (type.isEmpty())
            return std::nullopt;
        Owned<GAppInfo, unrefObject> info{g_app_info_get_default_for_type(type.constData(), FALSE)};
        if (!info.value)
            return std::nullopt;
        return describe(info.value);
    }

    std::vector<Application> applicationsFor(const QString& fileName) override
    {
        std::vector<Application> apps;
        std::optional<Application> first = defaultApplicationFor(fileName);
        if (first)
            apps.push_back(*first);
        const QByteArray type = contentTypeFor(fileName).toUtf8();
        if (type.isEmpty())
            return apps;
        GList* all = g_app_info_get_all_for_type(type.constData());
        for (GList* item = all; item; item = item->next) {
            Application app = describe(G_APP_INFO(item->data));
            if (!first || app.id != first->id)
                apps.push_back(app);
        }
        g_list_free_full(all, g_object_unref);
        return apps;
    }

    bool open(const QString& path) override
    {
        const std::optional<Application> app = defaultApplicationFor(path);
        if (!app)
            return false;
        return openWith(path, app->id);
    }

    bool openWith(const QString& path, const QString& id) override
    {
        const QByteArray desktopId = id.toUtf8();
        GDesktopAppInfo* chosen = desktopId.isEmpty() ? nullptr : g_desktop_app_info_new(desktopId.constData());
        if (!chosen) {
            const QByteArray type = contentTypeFor(path).toUtf8();
            Owned<GAppInfo, unrefObject> fallback{
                type.isEmpty() ? nullptr : g_app_info_get_default_for_type(type.constData(), FALSE)};
            return fallback.value && launch(fallback.value, path);
        }
        Owned<GAppInfo, unrefObject> info{G_APP_INFO(chosen)};
        return launch(info.value, path);
    }
};

AppLauncher* replacement = nullptr;

}  // namespace

AppLauncher& AppLauncher::current()
{
    static GioLauncher application;
    return replacement ? *replacement : application;
}

void AppLauncher::setCurrent(AppLauncher* launcher) { replacement = launcher; }

}  // namespace orv
