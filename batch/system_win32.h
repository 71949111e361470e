#pragma once
// What the Win32 side of quorvel-batch's worker link needs of the handle table in
// system_win32.cpp.

namespace quorvel::batch::sys {

// The HANDLE behind a handle number; INVALID_HANDLE_VALUE for none.
void* nativeHandle(int handle);
// A HANDLE this process owns, taken into the table; closed by closeHandle().
int adoptNativeHandle(void* handle);

}  // namespace quorvel::batch::sys
