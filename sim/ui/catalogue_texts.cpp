#include "sim/ui/catalogue_texts.h"

#include "res/resource.h"

namespace sim {

namespace {

struct CatalogueRow {
    UINT id;
    const wchar_t* english;
    const wchar_t* chinese;
};

const CatalogueRow kRows[] = {
#define CATALOGUE_TEXT(id, english, chinese) {id, L"" english, L"" chinese},
#include "res/texts.inc"
#undef CATALOGUE_TEXT
};

} // namespace

const wchar_t* CatalogueText(UINT id, LANGID uiLanguage)
{
    // The tool offers English (neutral) and Chinese (neutral) string tables;
    // any other user-interface language falls back to English.
    bool chinese = PRIMARYLANGID(uiLanguage) == LANG_CHINESE;
    for (const CatalogueRow& row : kRows) {
        if (row.id == id) {
            return chinese ? row.chinese : row.english;
        }
    }
    return nullptr;
}

bool CatalogueHasBlockOf(UINT id)
{
    for (const CatalogueRow& row : kRows) {
        if (row.id >> 4 == id >> 4) {
            return true;
        }
    }
    return false;
}

} // namespace sim
