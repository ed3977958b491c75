// Ids of the program's string-table texts, shared by the C++ code and the resource script.
#ifndef TRIAGIST_UI_STRINGIDS_H
#define TRIAGIST_UI_STRINGIDS_H

// Main diagnostics window: caption and buttons
#define IDS_MAIN_CANCEL                     155
#define IDS_MAIN_CAPTION                    157
#define IDS_MAIN_EXIT                       158
#define IDS_MAIN_SAVE                       160
#define IDS_MAIN_START                      161

// Main diagnostics window: step log lines
#define IDS_STEP_CANCELLED                  139
#define IDS_STEP_NETWORK                    140
#define IDS_STEP_OPERATING_SYSTEM           141
#define IDS_STEP_PRODUCTS                   142
#define IDS_STEP_BASE_SERVICE_CONFIG        144
#define IDS_STEP_SNMP_CONFIG                145
#define IDS_STEP_HARDWARE                   146
#define IDS_STEP_EVENT_LOG                  147
#define IDS_STEP_WARNINGS                   148
#define IDS_STEP_OK                         149
#define IDS_STEP_BASE_SERVICE_TEST          153
#define IDS_STEP_SNMP_TEST                  154
#define IDS_RUN_COMPLETED                   156

// Main diagnostics window: status bar
#define IDS_STATUS_ERROR                    162
#define IDS_STATUS_OK                       163
#define IDS_STATUS_NA                       164
#define IDS_STATUS_WARN                     165

// Main diagnostics window: HTML transformation failure message
#define IDS_HTML_FAILED_CAPTION             166
#define IDS_HTML_FAILED_TEXT                167

// Trace settings editor: save question and module list columns
#define IDS_TRACE_SAVE_QUESTION             137
#define IDS_TRACE_SAVE_CAPTION              138
#define IDS_TRACE_COL_CONSOLE               169
#define IDS_TRACE_COL_FILE                  170
#define IDS_TRACE_COL_NAME                  172
#define IDS_TRACE_COL_WINDBG                173

// Agent restart: dialog texts, progress and service messages
#define IDS_RESTART_START_ERROR_CAPTION     135
#define IDS_RESTART_STOP_ERROR_CAPTION      136
#define IDS_RESTART_DEPENDENT_QUESTION      174
#define IDS_RESTART_SERVICE_STARTED         175
#define IDS_RESTART_START_FAILED            176
#define IDS_RESTART_STARTING                177
#define IDS_RESTART_SERVICE_STOPPED         178
#define IDS_RESTART_STOP_FAILED             179
#define IDS_RESTART_STOPPING                180
#define IDS_RESTART_ADVANCED                183
#define IDS_RESTART_CAPTION                 186
#define IDS_RESTART_EXIT                    187
#define IDS_RESTART_OPTIONS                 188
#define IDS_RESTART_PROMPT                  189
#define IDS_RESTART_RESCAN                  190
#define IDS_RESTART_FAILED                  191
#define IDS_RESTART_COMPLETED               192
#define IDS_RESTART_SNMP_ONLY               193
#define IDS_RESTART_RESTART                 194
#define IDS_RESTART_DEPENDENTS_CAPTION      195
#define IDS_RESTART_RECOVERING              300
#define IDS_RESTART_RECOVERED               301

// Console front ends: labels the windows show as controls or captions
#define IDS_TRACE_COL_TRACE_FILE            302
#define IDS_TRACE_COL_SOURCES               303
#define IDS_REPORT_XML                      304
#define IDS_REPORT_HTML                     305
#define IDS_TRACE_SOURCE_RAVELIN            306
#define IDS_TRACE_SOURCE_SNMP               307
#define IDS_TRACE_SOURCE_FARLINK            308
#define IDS_TRACE_SOURCE_REGISTERED         309

// SNMP extension agent selection dialog
#define IDS_AGENTS_CANCEL                   134
#define IDS_AGENTS_OK                       181
#define IDS_AGENTS_CAPTION                  184
#define IDS_AGENTS_PROMPT                   185

#endif
