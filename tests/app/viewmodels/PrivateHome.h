#pragma once
// Points the user's cache and settings folders at a folder of the test
// program's own before anything reads them, and removes it at exit, so tests
// never touch the real ~/.cache or ~/.config.

#include <QTemporaryDir>
#include <cstdlib>

namespace orv::test {

class PrivateHome {
public:
    PrivateHome()
    {
        ::setenv("XDG_CACHE_HOME", (dir_.path() + "/cache").toLocal8Bit().constData(), 1);
        ::setenv("XDG_CONFIG_HOME", (dir_.path() + "/config").toLocal8Bit().constData(), 1);
    }
    QString path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
};

}  // namespace orv::test
