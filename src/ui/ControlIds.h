// Ids of the program's dialogs, their controls and images, shared by the C++ code and the resource scripts.
#ifndef TRIAGIST_UI_CONTROLIDS_H
#define TRIAGIST_UI_CONTROLIDS_H

// Images
#define IDB_CHECKMARKS                      100
#define IDI_TRIAGIST                        132

// Trace settings editor (English and German templates)
#define IDD_TRACE_SETTINGS                  119
#define IDC_TRACE_ALL_OFF                   200
#define IDC_TRACE_APPLY                     201
#define IDC_TRACE_APP_NAME                  202
#define IDC_TRACE_CONSOLE_LEVEL             203
#define IDC_TRACE_CPU_ID                    204
#define IDC_TRACE_DATE_STAMP                205
#define IDC_TRACE_DELETE                    206
#define IDC_TRACE_DYNAMIC                   207
#define IDC_TRACE_FILE_LEVEL                208
#define IDC_TRACE_FILTER_RAVELIN            209
#define IDC_TRACE_FILTER_SNMP               210
#define IDC_TRACE_FILTER_REGISTERED         211
#define IDC_TRACE_FILTER_FARLINK            212
#define IDC_TRACE_MEM_USAGE                 216
#define IDC_TRACE_MODULES                   217
#define IDC_TRACE_NEW_MODULE                218
#define IDC_TRACE_REMOVE_MODULE             220
#define IDC_TRACE_RESTART                   221
#define IDC_TRACE_THREAD_ID                 222
#define IDC_TRACE_TIME_STAMP                223
#define IDC_TRACE_FILE                      224
#define IDC_TRACE_FILE_LIMIT                225
#define IDC_TRACE_VIEW                      226
#define IDC_TRACE_DEBUGGER_LEVEL            227

// New trace module
#define IDD_NEW_MODULE                      120
#define IDC_NEW_MODULE_NAME                 219

// Main diagnostics window
#define IDD_MAIN                            121
#define IDC_MAIN_START                      57000
#define IDC_MAIN_LOG                        229
#define IDC_MAIN_SAVE                       230
#define IDC_MAIN_VIEW_FRAME                 232

// Installer registration clean-up
#define IDD_MSI_CLEANUP                     124
#define IDC_MSI_CLEAN                       133
#define IDC_MSI_PRODUCTS                    236

// SNMP extension agent selection
#define IDD_AGENTS                          126
#define IDC_AGENTS_PROMPT                   114
#define IDC_AGENTS_TREE                     242

// Agent restart
#define IDD_RESTART                         128
#define IDC_RESTART_OPTIONS                 115
#define IDC_RESTART_STATUS                  116
#define IDC_RESTART_ADVANCED                240
#define IDC_RESTART_PROGRESS                243
#define IDC_RESTART_RESCAN                  244
#define IDC_RESTART_SNMP_ONLY               245
#define IDC_RESTART_RESTART                 246

#endif
