#pragma once
// Quitting the application: from its menu and on SIGTERM / SIGINT.

namespace orv {

// Ends the application's event loop, and any modal loop running inside it,
// so that exec() returns 0 and the termination step runs. Unlike
// QApplication::quit(), the windows are not asked to close first: a device
// window answers that request by refusing it and closing itself later, which
// would leave the application running with its windows gone.
void quitApplication();

}  // namespace orv
