// Test-only exports of zebitest.dll (listed in zebitest.def, never in zebiwicn.def).
#pragma once

#include "zebiwicnDefs.h"
#include <msi.h>

ZEB_ACTION tstWriteTraceLines(MSIHANDLE hInstall);
ZEB_ACTION tstActionWait(MSIHANDLE hInstall);
ZEB_ACTION tstIniLookups(MSIHANDLE hInstall);
ZEB_ACTION tstLaunch(MSIHANDLE hInstall);
ZEB_ACTION tstFileOperations(MSIHANDLE hInstall);
ZEB_ACTION tstStackRemovals(MSIHANDLE hInstall);
ZEB_ACTION tstListbox(MSIHANDLE hInstall);
ZEB_ACTION tstBinaryFile(MSIHANDLE hInstall);
ZEB_ACTION tstHxRegistryInfo(MSIHANDLE hInstall);
// ZEBTESTDESKTOP: the common desktop; the shortcuts "link|target;..." of ZEBTESTSHORTCUTS made.
ZEB_ACTION tstMakeShortcuts(MSIHANDLE hInstall);
