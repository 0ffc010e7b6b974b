// libFuzzer target: any bytes as a data file, through the field reader, the
// list and book readers, the material table, the display-text decoding and the number rules.
// Aborts on any broken invariant; the sanitizers catch the rest.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "BookTable.h"
#include "FieldReader.h"
#include "FieldText.h"
#include "ListFile.h"
#include "MitreCodeCheck.h"
#include "NumberText.h"
#include "StandardLookup.h"
#include "Weight.h"

namespace {

void require(bool condition)
{
    if (!condition) std::abort();
}

void numberRules(const std::string& field)
{
    const auto d = tessik::textToDouble(field);
    if (d) {
        require(std::isfinite(*d));
        // The text a field shows must read back as a number.
        const std::string text = tessik::doubleToText(*d);
        require(tessik::textToDouble(text).ok());
        (void)tessik::diameterColumn(*d);
        (void)tessik::angleRow(*d);
    }
    const auto f = tessik::textToSingle(field);
    if (f) require(tessik::textToSingle(tessik::singleToText(*f)).ok());
    const auto i = tessik::textToInt16(field);
    if (i) require(d.ok());
}

void weight(const std::string& a, const std::string& b)
{
    const auto d = tessik::textToDouble(a);
    const auto n = tessik::textToInt16(b);
    float cz = 0, bh = 0, w = 0;
    const double dd = d ? *d : 100;
    const std::string text = tessik::CalculateWeight({}, {dd, dd / 3, dd * 2, n ? *n : std::int16_t{2}}, a, b,
                                                     {cz, bh, w});
    require(tessik::isValidUtf8(text));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    {
        std::istringstream in(bytes);
        tessik::FieldReader reader(in);
        std::size_t fields = 0;
        std::string previous;
        while (!reader.atEnd()) {
            auto field = reader.next();
            require(field.ok());
            require(field->size() <= tessik::FieldReader::kMaxFieldBytes);
            // Every read consumes input, so there are never more fields than bytes.
            require(++fields <= size);
            require(tessik::isValidUtf8(tessik::fieldText(*field)));
            numberRules(*field);
            if (fields % 2 == 0) weight(previous, *field);
            previous = *field;
        }
        require(!reader.next().ok());
    }
    if (const auto table = tessik::parseMaterialTable(bytes)) {
        // A table that reads has rising temperatures and one positive stress
        // per temperature for every material, so every lookup inside its
        // range gives a stress between the material's least and greatest.
        const std::vector<double>& t = table->temperatures;
        require(!t.empty() && !table->materials.empty() && table->materials.size() <= size);
        for (std::size_t i = 1; i < t.size(); ++i) require(t[i - 1] < t[i]);
        for (const auto& m : table->materials) {
            require(m.stress.size() == t.size() && table->find(m.name) != nullptr);
            const auto [lo, hi] = std::minmax_element(m.stress.begin(), m.stress.end());
            for (const double at : {t.front(), (t.front() + t.back()) / 2, t.back()}) {
                const auto s = tessik::allowableStress(*table, m, at);
                require(s && *s >= *lo * (1 - 1e-12) && *s <= *hi * (1 + 1e-12));
            }
            require(!tessik::allowableStress(*table, m, t.back() + 1 + std::abs(t.back())));
        }
    }
    {
        std::istringstream in(bytes);
        const tessik::ListFile list = tessik::readListFile(in, "zjxl.ini", ".");
        require(list.entries.size() <= size);
        for (const std::string& entry : list.entries) require(tessik::isValidUtf8(entry));
    }
    {
        std::istringstream in(bytes);
        tessik::BookTable table;
        int j = 0;
        std::int16_t k = 0;
        std::string temp;
        const auto report = tessik::readBookTable(in, table, {j, k, temp}, "book.ini", ".");
        require(report.values <= tessik::BookTable::kColumns * tessik::BookTable::kRows);
        require(j >= 1 && j <= tessik::BookTable::kColumns && k >= 0 && k <= tessik::BookTable::kRows);
    }
    return 0;
}
