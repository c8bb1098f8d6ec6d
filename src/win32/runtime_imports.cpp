// Imports of the static runtime that older Windows lack, answered by the program.
// The threads runtime (winpthreads) calls GetTickCount64 through its import slot; a
// slot defined here is taken by the linker instead of kernel32's, so the program does
// not import the function (which Windows XP and Server 2003 lack, refusing to load the
// program) and the call reaches TickCount64, which binds it at run time.
#include <windows.h>

#include "platform/system/tick_count.h"

extern "C" {

static ULONGLONG WINAPI TickCount64ForRuntime() { return tolvane::TickCount64(); }

#if defined(__i386__)
#define TOLVANE_IMPORT_SLOT(name, arguments) "__imp__" #name "@" #arguments
#else
#define TOLVANE_IMPORT_SLOT(name, arguments) "__imp_" #name
#endif

ULONGLONG(WINAPI* tolvaneGetTickCount64Slot)() asm(TOLVANE_IMPORT_SLOT(GetTickCount64, 0)) = TickCount64ForRuntime;

}  // extern "C"
