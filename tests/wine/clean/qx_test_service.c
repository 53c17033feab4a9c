/* A service of ours for the service tests. With the argument "hang" it
   accepts a stop request and then stays stop-pending for good. */
#include <string.h>
#include <windows.h>

static SERVICE_STATUS_HANDLE statusHandle;
static SERVICE_STATUS status;
static HANDLE stopEvent;
static int hang;

static void Report(DWORD state) {
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    status.dwWaitHint = state == SERVICE_STOP_PENDING ? 60000 : 0;
    SetServiceStatus(statusHandle, &status);
}

static DWORD WINAPI Control(DWORD control, DWORD type, LPVOID data, LPVOID context) {
    (void)type;
    (void)data;
    (void)context;
    if (control == SERVICE_CONTROL_STOP) {
        Report(SERVICE_STOP_PENDING);
        if (!hang) SetEvent(stopEvent);
    }
    return NO_ERROR;
}

static void WINAPI ServiceMain(DWORD argc, LPSTR* argv) {
    (void)argc;
    statusHandle = RegisterServiceCtrlHandlerExA(argv[0], Control, NULL);
    if (!statusHandle) return;
    Report(SERVICE_RUNNING);
    /* Hanging or not, the process goes away after two minutes. */
    WaitForSingleObject(stopEvent, 120000);
    Report(SERVICE_STOPPED);
}

int main(int argc, char** argv) {
    static char name[] = "";
    SERVICE_TABLE_ENTRYA table[] = {{name, ServiceMain}, {NULL, NULL}};
    hang = argc > 1 && strcmp(argv[1], "hang") == 0;
    stopEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
