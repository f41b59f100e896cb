// The two feature tables as data, one row per line, and the previously-installed flags of the
// summary table.
#include "zebiwicnFeatures.h"

#include <string.h>

namespace {

// clang-format off
const ZebProductFeature kProductFeatures[ZEB_FEATURE_ROWS] = {
    // name          parent     server client needs Server needs JRE display
    {"Client",      "",        TRUE, TRUE,  FALSE, FALSE, 10002},
    {"JavaMsg",     "",        TRUE, TRUE,  FALSE, FALSE, 1070},
    {"Toolkit",     "",        TRUE, TRUE,  FALSE, FALSE, 10001},
    {"Server",      "",        TRUE, TRUE,  FALSE, FALSE, 10000},
    {"XR_Service",  "Server",  TRUE, FALSE, TRUE,  TRUE,  1155},
    {"MFT_Service", "Server",  TRUE, FALSE, TRUE,  TRUE,  1160},
    {"MFT_Logger",  "Server",  TRUE, FALSE, TRUE,  TRUE,  1159},
    {"MFT_Agent",   "",        TRUE, FALSE, FALSE, TRUE,  1158},
    {"MFT_Tools",   "",        TRUE, FALSE, FALSE, TRUE,  1161},
    {"AMS",         "Server",  TRUE, FALSE, TRUE,  FALSE, 1162},
    {"AMQP",        "Server",  TRUE, FALSE, TRUE,  TRUE,  1163},
    {"Web",         "JavaMsg", TRUE, FALSE, TRUE,  TRUE,  1164},
    {"JRE",         "",        TRUE, TRUE,  FALSE, FALSE, 1165},
    {"",            "",        FALSE, FALSE, FALSE, FALSE, 0},
};

// Documentation display names: the eclipse rows 1090 + n, the inet rows 1104 + n and the pdf rows
// 2012 + n, n counting the languages de_de, en_us, es_es, fr_fr, it_it, ja_jp, ko_kr, pt_br,
// zh_cn, zh_tw, hu_hu, ru_ru, cs_cz, pl_pl. Only the first ten had documentation in the legacy
// product.
const ZebSummaryFeature kSummaryFeatures[ZEB_FEATURE_ROWS] = {
    // name, listed name, prerequisite, display, hard, client, legacy component
    {"Server", "Server", 1005, 10000, TRUE, FALSE, ""},
    {"Server", "Server", 1004, 0, FALSE, FALSE, ""},
    {"Server", "Server", 1139, 0, FALSE, FALSE, ""},
    {"XR_Service", "Server", 0, 1155, FALSE, FALSE, ""},
    {"AMS", "Server", 0, 1162, FALSE, FALSE, ""},
    {"AMQP", "Server", 0, 1163, FALSE, FALSE, ""},
    {"MFT_Service", "Server", 0, 1160, FALSE, FALSE, ""},
    {"MFT_Logger", "Server", 0, 1159, FALSE, FALSE, ""},
    {"MFT_Agent", "MFT_Agent", 0, 1158, FALSE, FALSE, ""},
    {"MFT_Tools", "MFT_Tools", 0, 1161, FALSE, FALSE, ""},
    {"Explorer", "Explorer", 0, 1138, FALSE, FALSE, ""},
    {"Client", "Client", 1005, 10002, TRUE, TRUE, ""},
    {"Client", "Client", 1004, 0, FALSE, TRUE, ""},
    {"Client", "Client", 1139, 0, FALSE, TRUE, ""},
    {"JavaMsg", "JavaMsg", 0, 1070, FALSE, TRUE, ""},
    {"Web", "JavaMsg", 0, 1164, FALSE, FALSE, ""},
    {"JRE", "JRE", 0, 1165, FALSE, TRUE, ""},
    {"Internet_gateway", "Internet_gateway", 0, 10004, FALSE, TRUE, ""},
    {"Toolkit", "Toolkit", 1005, 10001, TRUE, TRUE, ""},
    {"docs_de_de", "docs_de_de", 0, 0, TRUE, TRUE, ""},
    {"docs_de_de_eclipse", "docs_de_de_eclipse", 0, 1090, FALSE, TRUE, "{C5210D0C-0000-4D0C-9A5E-521000000001}"},
    {"docs_de_de_pdf", "docs_de_de_pdf", 0, 2012, FALSE, TRUE, "{C5210D0C-0000-4D0C-9A5E-521000000002}"},
    {"docs_de_de_inet", "docs_de_de_inet", 0, 1104, FALSE, TRUE, "{C5210D0C-0000-4D0C-9A5E-521000000003}"},
    {"docs_hu_hu", "docs_hu_hu", 0, 0, TRUE, TRUE, ""},
    {"docs_hu_hu_eclipse", "docs_hu_hu_eclipse", 0, 1100, FALSE, TRUE, ""},
    {"docs_hu_hu_pdf", "docs_hu_hu_pdf", 0, 2022, FALSE, TRUE, ""},
    {"docs_hu_hu_inet", "docs_hu_hu_inet", 0, 1114, FALSE, TRUE, ""},
    {"docs_ru_ru", "docs_ru_ru", 0, 0, TRUE, TRUE, ""},
    {"docs_ru_ru_eclipse", "docs_ru_ru_eclipse", 0, 1101, FALSE, TRUE, ""},
    {"docs_ru_ru_pdf", "docs_ru_ru_pdf", 0, 2023, FALSE, TRUE, ""},
    {"docs_ru_ru_inet", "docs_ru_ru_inet", 0, 1115, FALSE, TRUE, ""},
    {"docs_en_us", "docs_en_us", 0, 0, TRUE, TRUE, ""},
    {"docs_en_us_eclipse", "docs_en_us_eclipse", 0, 1091, FALSE, TRUE, "{C5210D0C-0001-4D0C-9A5E-521000000001}"},
    {"docs_en_us_pdf", "docs_en_us_pdf", 0, 2013, FALSE, TRUE, "{C5210D0C-0001-4D0C-9A5E-521000000002}"},
    {"docs_en_us_inet", "docs_en_us_inet", 0, 1105, FALSE, TRUE, "{C5210D0C-0001-4D0C-9A5E-521000000003}"},
    {"docs_es_es", "docs_es_es", 0, 0, TRUE, TRUE, ""},
    {"docs_es_es_eclipse", "docs_es_es_eclipse", 0, 1092, FALSE, TRUE, "{C5210D0C-0002-4D0C-9A5E-521000000001}"},
    {"docs_es_es_pdf", "docs_es_es_pdf", 0, 2014, FALSE, TRUE, "{C5210D0C-0002-4D0C-9A5E-521000000002}"},
    {"docs_es_es_inet", "docs_es_es_inet", 0, 1106, FALSE, TRUE, "{C5210D0C-0002-4D0C-9A5E-521000000003}"},
    {"docs_fr_fr", "docs_fr_fr", 0, 0, TRUE, TRUE, ""},
    {"docs_fr_fr_eclipse", "docs_fr_fr_eclipse", 0, 1093, FALSE, TRUE, "{C5210D0C-0003-4D0C-9A5E-521000000001}"},
    {"docs_fr_fr_pdf", "docs_fr_fr_pdf", 0, 2015, FALSE, TRUE, "{C5210D0C-0003-4D0C-9A5E-521000000002}"},
    {"docs_fr_fr_inet", "docs_fr_fr_inet", 0, 1107, FALSE, TRUE, "{C5210D0C-0003-4D0C-9A5E-521000000003}"},
    {"docs_it_it", "docs_it_it", 0, 0, TRUE, TRUE, ""},
    {"docs_it_it_eclipse", "docs_it_it_eclipse", 0, 1094, FALSE, TRUE, "{C5210D0C-0004-4D0C-9A5E-521000000001}"},
    {"docs_it_it_pdf", "docs_it_it_pdf", 0, 2016, FALSE, TRUE, "{C5210D0C-0004-4D0C-9A5E-521000000002}"},
    {"docs_it_it_inet", "docs_it_it_inet", 0, 1108, FALSE, TRUE, "{C5210D0C-0004-4D0C-9A5E-521000000003}"},
    {"docs_ja_jp", "docs_ja_jp", 0, 0, TRUE, TRUE, ""},
    {"docs_ja_jp_eclipse", "docs_ja_jp_eclipse", 0, 1095, FALSE, TRUE, "{C5210D0C-0005-4D0C-9A5E-521000000001}"},
    {"docs_ja_jp_pdf", "docs_ja_jp_pdf", 0, 2017, FALSE, TRUE, "{C5210D0C-0005-4D0C-9A5E-521000000002}"},
    {"docs_ja_jp_inet", "docs_ja_jp_inet", 0, 1109, FALSE, TRUE, "{C5210D0C-0005-4D0C-9A5E-521000000003}"},
    {"docs_ko_kr", "docs_ko_kr", 0, 0, TRUE, TRUE, ""},
    {"docs_ko_kr_eclipse", "docs_ko_kr_eclipse", 0, 1096, FALSE, TRUE, "{C5210D0C-0006-4D0C-9A5E-521000000001}"},
    {"docs_ko_kr_pdf", "docs_ko_kr_pdf", 0, 2018, FALSE, TRUE, "{C5210D0C-0006-4D0C-9A5E-521000000002}"},
    {"docs_ko_kr_inet", "docs_ko_kr_inet", 0, 1110, FALSE, TRUE, "{C5210D0C-0006-4D0C-9A5E-521000000003}"},
    {"docs_pt_br", "docs_pt_br", 0, 0, TRUE, TRUE, ""},
    {"docs_pt_br_eclipse", "docs_pt_br_eclipse", 0, 1097, FALSE, TRUE, "{C5210D0C-0007-4D0C-9A5E-521000000001}"},
    {"docs_pt_br_pdf", "docs_pt_br_pdf", 0, 2019, FALSE, TRUE, "{C5210D0C-0007-4D0C-9A5E-521000000002}"},
    {"docs_pt_br_inet", "docs_pt_br_inet", 0, 1111, FALSE, TRUE, "{C5210D0C-0007-4D0C-9A5E-521000000003}"},
    {"docs_zh_cn", "docs_zh_cn", 0, 0, TRUE, TRUE, ""},
    {"docs_zh_cn_eclipse", "docs_zh_cn_eclipse", 0, 1098, FALSE, TRUE, "{C5210D0C-0008-4D0C-9A5E-521000000001}"},
    {"docs_zh_cn_pdf", "docs_zh_cn_pdf", 0, 2020, FALSE, TRUE, "{C5210D0C-0008-4D0C-9A5E-521000000002}"},
    {"docs_zh_cn_inet", "docs_zh_cn_inet", 0, 1112, FALSE, TRUE, "{C5210D0C-0008-4D0C-9A5E-521000000003}"},
    {"docs_cs_cz", "docs_cs_cz", 0, 0, TRUE, TRUE, ""},
    {"docs_cs_cz_eclipse", "docs_cs_cz_eclipse", 0, 1102, FALSE, TRUE, ""},
    {"docs_cs_cz_pdf", "docs_cs_cz_pdf", 0, 2024, FALSE, TRUE, ""},
    {"docs_cs_cz_inet", "docs_cs_cz_inet", 0, 1116, FALSE, TRUE, ""},
    {"docs_pl_pl", "docs_pl_pl", 0, 0, TRUE, TRUE, ""},
    {"docs_pl_pl_eclipse", "docs_pl_pl_eclipse", 0, 1103, FALSE, TRUE, ""},
    {"docs_pl_pl_pdf", "docs_pl_pl_pdf", 0, 2025, FALSE, TRUE, ""},
    {"docs_pl_pl_inet", "docs_pl_pl_inet", 0, 1117, FALSE, TRUE, ""},
    {"docs_zh_tw", "docs_zh_tw", 0, 0, TRUE, TRUE, ""},
    {"docs_zh_tw_eclipse", "docs_zh_tw_eclipse", 0, 1099, FALSE, TRUE, "{C5210D0C-0009-4D0C-9A5E-521000000001}"},
    {"docs_zh_tw_pdf", "docs_zh_tw_pdf", 0, 2021, FALSE, TRUE, "{C5210D0C-0009-4D0C-9A5E-521000000002}"},
    {"docs_zh_tw_inet", "docs_zh_tw_inet", 0, 1113, FALSE, TRUE, "{C5210D0C-0009-4D0C-9A5E-521000000003}"},
    {"", "", 0, 0, FALSE, FALSE, ""},
};
// clang-format on

BOOL g_abPrevInstalled[ZEB_FEATURE_ROWS];

const ZebProductFeature kNoProductFeature = {"", "", FALSE, FALSE, FALSE, FALSE, 0};
const ZebSummaryFeature kNoSummaryFeature = {"", "", 0, 0, FALSE, FALSE, ""};

BOOL InRange(int i) {
    return i >= 0 && i < ZEB_FEATURE_ROWS;
}

} // namespace

const ZebProductFeature& ProductFeature(int i) {
    if (!InRange(i) || kProductFeatures[i].pszName == NULL)
        return kNoProductFeature;
    return kProductFeatures[i];
}

const ZebSummaryFeature& SummaryFeature(int i) {
    if (!InRange(i) || kSummaryFeatures[i].pszName == NULL)
        return kNoSummaryFeature;
    return kSummaryFeatures[i];
}

BOOL IsListedSummaryFeature(int i, BOOL bClient) {
    const ZebSummaryFeature& row = SummaryFeature(i);
    if (row.pszName[0] == '\0' || row.uDisplay == 0 || (bClient && !row.bClient))
        return FALSE;
    return i == 0 || strcmp(row.pszName, SummaryFeature(i - 1).pszName) != 0;
}

BOOL IsSummaryFeaturePrevInstalled(int i) {
    return InRange(i) && g_abPrevInstalled[i];
}

void SetSummaryFeaturePrevInstalled(int i) {
    if (InRange(i))
        g_abPrevInstalled[i] = TRUE;
}

void ResetFeatureState(void) {
    memset(g_abPrevInstalled, 0, sizeof(g_abPrevInstalled));
}
