# Checks the freestanding DLL's image (run by ctest as cmake -P):
#   - imports from KERNEL32, USER32, GDI32 and OLEAUT32 only (no C runtime,
#     libgcc_s, libstdc++ or winpthread slipped in through a library call),
#     and only functions the oldest Windows it runs on has (the table below);
#   - exports nothing beyond the library's one export (the linker exports
#     every global when no export is named);
#   - the entry point is the library's own DllEntry, not a C runtime startup;
#   - no static constructors, which nothing would run;
#   - none of the test machinery of the core's test build (the hooks of
#     platform/test_hooks.h and what tests call to drive them).
# and reports the image's size in bytes; with MAX_BYTES, an image larger than
# that fails.
# The shipped image is stripped; SYMBOLS names an unstripped copy of the same
# link for the symbol lookups (the DLL itself when not given).
#
#   cmake -DDLL=Orvandel.dll [-DSYMBOLS=Orvandel.dll.symbols] -DOBJDUMP=... -DNM=...
#         [-DENTRY=DllEntry -DPOINTER_SIZE=8] [-DMAX_BYTES=49152] -P CheckDllImage.cmake
# ENTRY is the entry point's symbol (_DllEntry@12 on x86, DllEntry on x64),
# POINTER_SIZE the width of the constructor list's words (4 or 8).
cmake_policy(SET CMP0057 NEW)
foreach(var DLL OBJDUMP NM)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "CheckDllImage: ${var} not given")
  endif()
endforeach()
if(NOT DEFINED ENTRY)
  set(ENTRY _DllEntry@12)
endif()
if(NOT DEFINED POINTER_SIZE)
  set(POINTER_SIZE 4)
endif()
if(NOT DEFINED SYMBOLS)
  set(SYMBOLS ${DLL})
endif()

# VAR = the first group of REGEX's first match in TEXT, empty without one.
function(capture var regex text)
  string(REGEX MATCH "${regex}" _ "${text}")
  set(${var} "${CMAKE_MATCH_1}" PARENT_SCOPE)
endfunction()

execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${DLL} failed (${rc})")
endif()

set(failures "")
set(allowed KERNEL32.DLL USER32.DLL GDI32.DLL OLEAUT32.DLL)
string(REGEX MATCHALL "DLL Name: [^\n]+" names "${dump}")
set(seen "")
foreach(line IN LISTS names)
  string(REGEX REPLACE "DLL Name: *" "" name "${line}")
  string(STRIP "${name}" name)
  string(TOUPPER "${name}" upper)
  list(APPEND seen ${upper})
  if(NOT upper IN_LIST allowed)
    string(APPEND failures "  imports from ${name}\n")
  endif()
endforeach()
if(NOT "KERNEL32.DLL" IN_LIST seen)
  string(APPEND failures "  no KERNEL32 import: the import table was not read\n")
endif()

# The oldest Windows the DLL runs on is Windows 7 (include/orvandel.h). Every
# function it imports must be one the system's DLLs export there: these,
# each documented since Windows 2000 or XP. An import missing here fails, so
# a new one is looked up before it ships; one newer than Windows 7 must be
# looked up at run time instead, with a way on without it, as
# GetDpiForWindow is (Windows 10: without it a cell keeps its 96-DPI size,
# textwin/cell_font.cpp). The x64 DLL imports the pointer-sized pair of
# GetWindowLong and SetWindowLong.
set(windows7_imports
  GDI32!BitBlt GDI32!CreateCompatibleBitmap GDI32!CreateCompatibleDC GDI32!CreateDIBSection
  GDI32!CreateFontIndirectW GDI32!CreateSolidBrush GDI32!DeleteDC GDI32!DeleteObject GDI32!EnumFontFamiliesExW
  GDI32!ExtTextOutW GDI32!GdiFlush GDI32!GetClipBox GDI32!GetDeviceCaps GDI32!GetFontData GDI32!GetGlyphIndicesW
  GDI32!GetStockObject GDI32!GetTextExtentPoint32W GDI32!GetTextExtentPointI GDI32!GetTextFaceW
  GDI32!GetTextMetricsW GDI32!SelectObject GDI32!SetBkColor GDI32!SetBkMode GDI32!SetTextColor
  KERNEL32!CloseHandle KERNEL32!CreateMutexW KERNEL32!CreateThread KERNEL32!DuplicateHandle KERNEL32!ExitProcess
  KERNEL32!FreeLibrary KERNEL32!FreeLibraryAndExitThread KERNEL32!GetCurrentThreadId KERNEL32!GetLastError
  KERNEL32!GetModuleHandleExW KERNEL32!GetProcAddress KERNEL32!GetThreadTimes KERNEL32!GetTickCount
  KERNEL32!GetVersionExA KERNEL32!GlobalAlloc KERNEL32!GlobalFree KERNEL32!GlobalLock KERNEL32!GlobalUnlock
  KERNEL32!MultiByteToWideChar KERNEL32!OpenThread KERNEL32!ReleaseMutex KERNEL32!Sleep KERNEL32!TlsAlloc
  KERNEL32!TlsFree KERNEL32!TlsGetValue KERNEL32!TlsSetValue KERNEL32!WaitForSingleObject
  KERNEL32!WideCharToMultiByte
  OLEAUT32!SysAllocStringByteLen OLEAUT32!SysAllocStringLen OLEAUT32!SysFreeString OLEAUT32!VariantClear
  USER32!AdjustWindowRectEx USER32!CallWindowProcW USER32!CloseClipboard USER32!CreateWindowExW
  USER32!DefWindowProcW USER32!DestroyWindow USER32!DispatchMessageW USER32!EmptyClipboard USER32!FillRect
  USER32!GetClientRect USER32!GetDC USER32!GetDlgItem USER32!GetMonitorInfoW USER32!GetParent
  USER32!GetScrollInfo USER32!GetSysColor USER32!GetSysColorBrush USER32!GetSystemMetrics USER32!GetWindowLongW
  USER32!GetWindowLongPtrW USER32!GetWindowRect USER32!GetWindowTextLengthW USER32!GetWindowTextW
  USER32!InvalidateRect USER32!IsDialogMessageW USER32!IsWindow USER32!LoadCursorW USER32!LoadIconW
  USER32!MonitorFromPoint USER32!NotifyWinEvent USER32!OpenClipboard USER32!PeekMessageW USER32!PostMessageA
  USER32!PostQuitMessage USER32!RegisterClassExW USER32!ReleaseDC USER32!SendMessageA USER32!SendMessageTimeoutW
  USER32!SetClipboardData USER32!SetFocus USER32!SetForegroundWindow USER32!SetScrollInfo USER32!SetWindowLongW
  USER32!SetWindowLongPtrW USER32!SetWindowPos USER32!ShowWindow USER32!TranslateMessage USER32!UnregisterClassW
  USER32!UpdateWindow)
# Each DLL's functions stand below its name as lines "\t<vma>\t <hint> <name>".
string(REGEX MATCHALL "DLL Name: [^\n]+\n[^\n]*\n(\t[0-9a-fA-F]+\t +[0-9]+ +[^\n]+\n)*" import_blocks "${dump}")
set(imported_functions 0)
foreach(block IN LISTS import_blocks)
  capture(dll "DLL Name: *([^\n.]+)" "${block}")
  string(TOUPPER "${dll}" dll)
  string(REGEX MATCHALL "\t[0-9a-fA-F]+\t +[0-9]+ +[^\n]+" functions "${block}")
  foreach(line IN LISTS functions)
    string(REGEX REPLACE "^\t[0-9a-fA-F]+\t +[0-9]+ +" "" function "${line}")
    string(STRIP "${function}" function)
    math(EXPR imported_functions "${imported_functions} + 1")
    if(NOT "${dll}!${function}" IN_LIST windows7_imports)
      string(APPEND failures "  imports ${dll}!${function}, which the table of Windows 7's functions lacks\n")
    endif()
  endforeach()
endforeach()
if(imported_functions EQUAL 0)
  string(APPEND failures "  no imported function read: the table of Windows 7's functions checked nothing\n")
endif()

# Export names stand in the name-pointer table as lines "\t[   0] Name".
capture(export_table "\\[Ordinal/Name Pointer\\] Table[^\n]*\n(([ \t]+\\[[ 0-9]+\\][^\n]*\n)*)" "${dump}")
string(REGEX MATCHALL "\\][ \t]+[^ \t\n]+" exports "${export_table}")
foreach(e IN LISTS exports)
  string(REGEX REPLACE "^\\][ \t]+" "" e "${e}")
  if(NOT e STREQUAL "Orvandel")
    string(APPEND failures "  exports ${e}\n")
  endif()
endforeach()

capture(entry_rva "AddressOfEntryPoint[ \t]+([0-9a-fA-F]+)" "${dump}")
capture(image_base "ImageBase[ \t]+([0-9a-fA-F]+)" "${dump}")
execute_process(COMMAND ${NM} ${SYMBOLS} OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${NM} ${SYMBOLS} failed (${rc})")
endif()
capture(entry_address "([0-9a-fA-F]+) T ${ENTRY}\n" "${symbols}")
if(NOT entry_address OR NOT entry_rva OR NOT image_base)
  string(APPEND failures "  ${ENTRY} or the entry point not found\n")
else()
  math(EXPR entry "0x${image_base} + 0x${entry_rva}" OUTPUT_FORMAT HEXADECIMAL)
  math(EXPR want "0x${entry_address}" OUTPUT_FORMAT HEXADECIMAL)
  if(NOT entry EQUAL want)
    string(APPEND failures "  entry point ${entry} is not ${ENTRY} (${want})\n")
  endif()
endif()
foreach(startup DllMainCRTStartup _CRT_INIT __DllMainCRTStartup mainCRTStartup __main __do_global_ctors)
  if(symbols MATCHES "[ \t]_?${startup}(@[0-9]+)?\n")
    string(APPEND failures "  C runtime startup ${startup} linked in\n")
  endif()
endforeach()
string(REGEX MATCHALL "[^ \t\n]*(hook_|platform_fail_|platform_override_|platform_counters)[^\n]*"
       test_machinery "${symbols}")
if(test_machinery)
  list(REMOVE_DUPLICATES test_machinery)
  string(APPEND failures "  test machinery linked in: ${test_machinery}\n")
endif()

# The linker lays the constructor list out as -1, the constructors, 0: two
# words apart means there are none.
capture(ctor_list "([0-9a-fA-F]+) [A-Za-z] ___CTOR_LIST__\n" "${symbols}")
capture(dtor_list "([0-9a-fA-F]+) [A-Za-z] ___DTOR_LIST__\n" "${symbols}")
if(ctor_list AND dtor_list)
  math(EXPR ctor_bytes "0x${dtor_list} - 0x${ctor_list}")
  math(EXPR empty_bytes "2 * ${POINTER_SIZE}")
  if(NOT ctor_bytes EQUAL empty_bytes)
    math(EXPR ctor_count "${ctor_bytes} / ${POINTER_SIZE} - 2")
    string(APPEND failures "  ${ctor_count} static constructor(s) that nothing would run\n")
  endif()
endif()

if(failures)
  message(FATAL_ERROR "${DLL}:\n${failures}")
endif()
list(LENGTH names count)
message(STATUS "${DLL}: ${count} imported DLLs (${seen}), ${imported_functions} functions, all in Windows 7, entry point ${ENTRY}")
file(SIZE ${DLL} size)
math(EXPR tenths "(${size} * 10 + 512) / 1024")
math(EXPR whole "${tenths} / 10")
math(EXPR tenth "${tenths} % 10")
message(STATUS "${DLL}: ${size} bytes (${whole}.${tenth} KB)")
if(DEFINED MAX_BYTES AND size GREATER MAX_BYTES)
  message(FATAL_ERROR "${DLL}: ${size} bytes, more than the ${MAX_BYTES} it may take")
endif()
