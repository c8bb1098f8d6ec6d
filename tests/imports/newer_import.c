/* Imports GetTickCount64, which Windows XP and Server 2003 lack: the import check must
   refuse this program. */
#define _WIN32_WINNT 0x0600
#include <windows.h>

int main(void) { return (int)(GetTickCount64() & 1); }
