// The SNMP objects the diagnosis and the capture ask the local agent for.
#pragma once

// MIB-II's system description, and an object just before it (a GETNEXT from there must reach it).
inline const char SYSTEM_DESCRIPTION[] = ".1.3.6.1.2.1.1.1.0";
inline const char BEFORE_SYSTEM_DESCRIPTION[] = ".1.3.6.1.2.0";

// The agents' status MIB: the subsystem table's columns, then the component table's.
inline const char SUBSYSTEM_NAME[] = "1.3.6.1.4.1.99999.2.10.2.11.3.1.1.6";
inline const char SUBSYSTEM_COLUMN_3[] = "1.3.6.1.4.1.99999.2.10.2.11.3.1.1.3";
inline const char SUBSYSTEM_COMPONENTS[] = "1.3.6.1.4.1.99999.2.10.2.11.3.1.1.5";
inline const char COMPONENT_ID[] = "1.3.6.1.4.1.99999.2.10.2.11.4.1.1.2";
inline const char COMPONENT_STATUS[] = "1.3.6.1.4.1.99999.2.10.2.11.4.1.1.3";
inline const char COMPONENT_NAME[] = "1.3.6.1.4.1.99999.2.10.2.11.4.1.1.5";
