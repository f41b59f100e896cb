// The product's features as the library knows them: the product feature table, which the preset
// selections and the Java-runtime list walk, and the summary feature table, which the
// prerequisite lists, the install summaries and the previous installation's features walk.
#pragma once

#include "zebiwicnDefs.h"
#include <msi.h>

// Room of each table; an empty name ends it.
#define ZEB_FEATURE_ROWS 96

// The legacy level-5.2.1 product, whose documentation components the summary table names.
#define ZEB_LEGACY_PRODUCT_CODE "{F150DC72-75A6-11D3-B481-000629BE881D}"

struct ZebProductFeature {
    LPCSTR pszName;
    LPCSTR pszParent; // "" for a top-level feature
    BOOL bServer;     // exists in a server installation
    BOOL bClient;     // exists in a client installation
    BOOL bNeedsServer;
    BOOL bNeedsJre;
    UINT uDisplay; // language string of its display name
};

struct ZebSummaryFeature {
    LPCSTR pszName;
    LPCSTR pszListed;          // the name listed when the row has no display message
    UINT uPrereq;              // prerequisite item (its language string), 0 for none
    UINT uDisplay;             // language string of its display name, 0 when not listed by name
    BOOL bHard;                // the prerequisite is required, not only recommended
    BOOL bClient;              // the row applies to client installations
    LPCSTR pszLegacyComponent; // its component in the legacy product, "" for none
};

// Row i (0 to ZEB_FEATURE_ROWS - 1); the rows after the last have an empty name.
const ZebProductFeature& ProductFeature(int i);
const ZebSummaryFeature& SummaryFeature(int i);

// The previously-installed flag of a summary row: clear when the library is loaded.
BOOL IsSummaryFeaturePrevInstalled(int i);
void SetSummaryFeaturePrevInstalled(int i);
void ResetFeatureState(void);

// ---- Component identities -----------------------------------------------------------------------

// Each per-instance component of the package with the codes instances 1 to 127 install it under
// (zebiwicnFeaturesIds.cpp, written by scripts/gen-component-ids.py). The first row of a name wins.
#define ZEB_COMPONENT_ROWS 39
#define ZEB_MAX_INSTANCE 127
#define ZEB_CCH_COMPONENT_NAME 107
#define ZEB_CCH_GUID 39

struct ZebComponentIdentity {
    char szName[ZEB_CCH_COMPONENT_NAME];
    char aszCodes[ZEB_MAX_INSTANCE][ZEB_CCH_GUID];
};

extern const ZebComponentIdentity g_aComponentIdentities[ZEB_COMPONENT_ROWS];

// ---- Feature selection --------------------------------------------------------------------------

// Sets INSTALLLEVEL and the installer's level: only the first successful call of a loaded copy
// acts. 0, or 1603 when the property or the installer refused (a later call tries again).
UINT SetInstallLevel(int iLevel);
void ResetFeatureSelectState(void);

// "INSTALLSTATE_LOCAL" and the like, or the number as eight hexadecimal digits.
LPCSTR FeatureStateText(char (&szOut)[ZEB_CCH_FLAG], INSTALLSTATE iState);

// ListFeatureAction modes.
#define ZEB_LIST_UNCHANGED 0
#define ZEB_LIST_ADDED 1
#define ZEB_LIST_REINSTALLED 2
#define ZEB_LIST_REMOVED 3

// Appends to ZEBSUMMARYLIST the display names of the summary rows the mode matches; *pbAdded is set
// when it added any. pszRemove is compared with "Remove" and "Reinstall" ignoring case. 0 or 1603.
UINT ListFeatureAction(BOOL* pbAdded, int iMode, LPCSTR pszRemove);

ZEB_ACTION iwiSetFeaturesMinimum(MSIHANDLE hInstall);
ZEB_ACTION iwiSetFeaturesTypical(MSIHANDLE hInstall);
ZEB_ACTION iwiCheckAtLeastOneFeature(MSIHANDLE hInstall);
ZEB_ACTION iwiAddFeaturesNeedingJRE(MSIHANDLE hInstall);
ZEB_ACTION iwiTestLosingFeatures(MSIHANDLE hInstall);
ZEB_ACTION iwiRuntimeMVChanges(MSIHANDLE hInstall);
