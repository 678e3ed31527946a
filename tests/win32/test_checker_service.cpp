// The checker server's service control handler, called as the service
// manager calls it. Wine never sends a service the shutdown control and
// keeps no recovery actions, so the handler is tried here directly; the
// service itself runs under Wine in the end-to-end tests.
#include <gtest/gtest.h>

#include "server/server_net.h"
#include "server/service_win32.h"

namespace {

ServiceStatus runningService() {
    ServiceStatus service;  // no handle: nothing is told to a service manager
    reportServiceStatus(service, SERVICE_RUNNING);
    return service;
}

TEST(CheckerService, StopAndShutdownEndTheServerInTime) {
    ServiceStatus service = runningService();
    EXPECT_EQ(service.status.dwControlsAccepted,
              DWORD{SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN});
    EXPECT_EQ(onServiceControl(SERVICE_CONTROL_INTERROGATE, 0, nullptr, &service), DWORD{NO_ERROR});
    EXPECT_EQ(onServiceControl(SERVICE_CONTROL_PAUSE, 0, nullptr, &service),
              DWORD{ERROR_CALL_NOT_IMPLEMENTED});
    EXPECT_EQ(service.status.dwCurrentState, DWORD{SERVICE_RUNNING});
    EXPECT_FALSE(serverStopRequested());

    for (const DWORD control : {SERVICE_CONTROL_SHUTDOWN, SERVICE_CONTROL_STOP}) {
        service = runningService();
        EXPECT_EQ(onServiceControl(control, 0, nullptr, &service), DWORD{NO_ERROR});
        EXPECT_TRUE(serverStopRequested());
        EXPECT_EQ(service.status.dwCurrentState, DWORD{SERVICE_STOP_PENDING});
        EXPECT_EQ(service.status.dwControlsAccepted, 0u);  // no second stop while stopping
        EXPECT_GE(service.status.dwWaitHint, 5000u);
    }
    reportServiceStatus(service, SERVICE_STOPPED, ERROR_SERVICE_SPECIFIC_ERROR);
    EXPECT_EQ(service.status.dwServiceSpecificExitCode, 1u);
}

}  // namespace
