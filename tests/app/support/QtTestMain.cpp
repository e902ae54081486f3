// main() of the application's GoogleTest programs: one QApplication for the
// whole program (Qt allows only one), on the offscreen platform unless the
// environment chose another, with the main run loop served inside Qt's event
// loop so device-client replies posted to the main queue arrive.

#include <gtest/gtest.h>

#include <QApplication>

#include "app/shell/MainRunLoopDriver.h"
#include "platform/RunLoop.h"

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    orv::MainRunLoopDriver driver(orv::RunLoop::main());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
