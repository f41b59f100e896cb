// The product's features as the library knows them: the product feature table, which the preset
// selections and the Java-runtime list walk, and the summary feature table, which the
// prerequisite lists, the install summaries and the previous installation's features walk.
#pragma once

#include "zebiwicnDefs.h"

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
