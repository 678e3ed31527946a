// The checker server under Windows' service manager. It reports running at
// once, before its list is read (the list loads beside the answering loop,
// and a big one takes a while), and a stop or a shutdown makes it write
// the unknown codes and end within a few seconds.
#include "server/service_win32.h"

#include "server/server_net.h"
#include "server/service.h"

namespace {

// The dispatcher calls the service's main with no way to pass it anything.
int (*serviceRun)(const std::vector<std::string>&) = nullptr;
const std::vector<std::string>* serviceArgs = nullptr;
ServiceStatus serviceStatus;
int serviceResult = 0;

// An own-process service is started by its one entry, whatever its name.
wchar_t serviceName[] = L"";

void WINAPI serviceMain(DWORD, LPWSTR*) {
    serviceStatus.handle =
        RegisterServiceCtrlHandlerExW(serviceName, onServiceControl, &serviceStatus);
    if (serviceStatus.handle == nullptr) return;
    reportServiceStatus(serviceStatus, SERVICE_RUNNING);
    const int result = serviceResult = serviceRun(*serviceArgs);
    // A service that stops with an error is one the recovery actions
    // restart, when the installer asked for them on such stops too.
    reportServiceStatus(serviceStatus, SERVICE_STOPPED,
                        result == 0 ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR);
}

}  // namespace

void reportServiceStatus(ServiceStatus& service, DWORD state, DWORD exitCode) {
    SERVICE_STATUS& status = service.status;
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted =
        state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    status.dwWin32ExitCode = exitCode;
    status.dwServiceSpecificExitCode = exitCode == ERROR_SERVICE_SPECIFIC_ERROR ? 1 : 0;
    status.dwWaitHint = state == SERVICE_STOP_PENDING ? kServiceStopHintMs : 0;
    ++status.dwCheckPoint;
    if (state == SERVICE_RUNNING || state == SERVICE_STOPPED) status.dwCheckPoint = 0;
    if (service.handle != nullptr) SetServiceStatus(service.handle, &status);
}

DWORD WINAPI onServiceControl(DWORD control, DWORD, LPVOID, LPVOID context) {
    auto& service = *static_cast<ServiceStatus*>(context);
    switch (control) {
        case SERVICE_CONTROL_STOP:
        case SERVICE_CONTROL_SHUTDOWN:
            serverRequestStop();
            reportServiceStatus(service, SERVICE_STOP_PENDING);
            return NO_ERROR;
        case SERVICE_CONTROL_INTERROGATE:
            reportServiceStatus(service, service.status.dwCurrentState);
            return NO_ERROR;
        default:
            return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

int runAsService(int (*run)(const std::vector<std::string>& args),
                 const std::vector<std::string>& args, std::string& error) {
    serviceRun = run;
    serviceArgs = &args;
    const SERVICE_TABLE_ENTRYW table[] = {{serviceName, serviceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(table)) {
        const DWORD code = GetLastError();
        error = code == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT
                    ? "--service is for the service manager; run it without --service here"
                    : "the service manager refused it: error " + std::to_string(code);
        return 1;
    }
    return serviceResult;
}
