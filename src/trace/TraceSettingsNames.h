// Where the trace settings live: the trace log reads them, the trace settings editor writes them.
#pragma once

// Below HKEY_LOCAL_MACHINE, 64-bit view; one subkey per module.
inline constexpr char TRACE_SETTINGS_KEY[] = "SOFTWARE\\Debug";

// Of the settings key itself: the reload interval for every module.
inline constexpr char TRACE_DYNAMIC_UPDATE[] = "DynamicUpdate";

// Of a module's key.
inline constexpr char TRACE_CON_LEVEL[] = "ConDebugLevel";
inline constexpr char TRACE_FILE_LEVEL[] = "FileDebugLevel";
inline constexpr char TRACE_WIN_LEVEL[] = "WinDebugLevel";
inline constexpr char TRACE_FILE[] = "TraceFile";
inline constexpr char TRACE_FILE_LIMIT[] = "TraceFileLimit";
inline constexpr char TRACE_TIME_STAMP_ON[] = "TimeStampOn";
inline constexpr char TRACE_DATE_STAMP_ON[] = "DateStampOn";
inline constexpr char TRACE_THREAD_ID_ON[] = "ThreadIdOn";
inline constexpr char TRACE_CPU_ID_ON[] = "CpuIdOn";
inline constexpr char TRACE_APP_NAME_ON[] = "AppNameOn";
inline constexpr char TRACE_MEM_USAGE_ON[] = "MemUsageOn";
inline constexpr char TRACE_HANDLE_COUNT_ON[] = "HandleCountOn";
