#pragma once
// Which thread is the main one: the process's first thread, which runs the
// main run loop (and, in the application, Qt's event loop).

namespace orv {

bool isMainThread();

}  // namespace orv
