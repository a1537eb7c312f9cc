// The host started on the stand-in VM in this process, with the service's shared state
// (stop event, current state, status handle) as the service main leaves it when the
// service runs, so that a test can call the control handler directly.  The test's thread
// plays the service main's: it started the host and serves the handler's hand-overs.
#pragma once

#include <windows.h>

#include <string>

#include "pbhost/host_environment.h"
#include "pbhost/vm_startup.h"
#include "runtime/control_handler.h"
#include "runtime/hand_over.h"
#include "runtime/service_status.h"

namespace pbhost_test {

class HandlerEnvironment : public HostEnvironment {
protected:
    // Starts the host over the library and leaves the start's journal and events behind.
    void StartHostWith(const std::string& library) {
        UseLibrary(library);
        ASSERT_EQ(StartPowerBuilderHost(), 0u) << Log();
        ForgetJournal();
        mark_ = kit::MarkEvents();
        StopEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        StatusHandle = nullptr;  // reports go nowhere in this process
        SetCurrentState(SERVICE_RUNNING);
        OpenHandOvers();
    }
    void TearDown() override {
        if (StopEvent != nullptr) CloseHandle(StopEvent);
        StopEvent = nullptr;
        HostEnvironment::TearDown();
    }
    // Calls the handler on a thread of its own, as the dispatcher does, and serves its
    // hand-overs on this one until it returns.
    static DWORD Send(DWORD control, DWORD eventType = 0) {
        Control call = {control, eventType, 0xFFFFFFFF};
        HANDLE handler = CreateThread(nullptr, 0, RunHandler, &call, 0, nullptr);
        const HANDLE events[2] = {handler, HandOverWaiting()};
        DWORD woke;
        while ((woke = WaitForMultipleObjects(2, events, FALSE, 10000)) == WAIT_OBJECT_0 + 1) ServeHandOvers();
        EXPECT_EQ(woke, WAIT_OBJECT_0) << "the handler returns within 10 s";
        CloseHandle(handler);
        return call.result;
    }
    struct Control {
        DWORD control, eventType, result;
    };
    static DWORD WINAPI RunHandler(LPVOID parameter) {
        Control* call = static_cast<Control*>(parameter);
        call->result = ServiceControlHandler(call->control, call->eventType, nullptr, nullptr);
        return 0;
    }
    static bool StopSignalled() { return WaitForSingleObject(StopEvent, 0) == WAIT_OBJECT_0; }
};

}  // namespace pbhost_test
