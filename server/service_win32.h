// The checker server's service control handler, for its test: the service
// manager calls it on a thread of its own with each control.
#pragma once

#include <windows.h>

// What the service last told the service manager, and where to tell it.
struct ServiceStatus {
    SERVICE_STATUS_HANDLE handle = nullptr;
    SERVICE_STATUS status{};
};

// How long a stop may take before the service manager gives up on it: the
// answering loop looks for a stop every 100 ms, a loader reading a big list
// is waited for 3 s, and the unknown codes are written in at most 2.
inline constexpr DWORD kServiceStopHintMs = 8000;

// Tells the service manager `state` (and the exit code, for SERVICE_STOPPED).
void reportServiceStatus(ServiceStatus& service, DWORD state, DWORD exitCode = NO_ERROR);

// The handler: stop and shutdown ask the server to stop and report that it
// is stopping; interrogate reports as before; anything else is not done
// here. `context` is the ServiceStatus.
DWORD WINAPI onServiceControl(DWORD control, DWORD eventType, LPVOID eventData, LPVOID context);
