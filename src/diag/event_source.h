#pragma once

// Registers ServiceSettings.ServiceName as a source of the Application event log, with
// this executable as its message file.  Silent; never fails the caller.
void AddEventSource();

// Removes that registration.  Silent; a source that was never registered is no error.
void RemoveEventSource();
