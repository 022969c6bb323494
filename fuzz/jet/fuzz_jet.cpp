// Opens an image from the fuzzer, walks every table and reads every value.
#include <cstddef>
#include <cstdint>
#include <set>

#include "jet/engine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    try {
        auto database = jet::Database::openBytes(jet::Bytes(data, data + size), "", "fuzz.mdb",
                                                 jet::OpenOptions{.checkPassword = false});
        std::set<std::uint32_t> seen;  // a hostile catalog may name one definition many times
        for (const auto& entry : database->catalog()) {
            if (!seen.insert(entry.definitionPage).second)
                continue;
            try {
                auto table = database->table(entry);
                jet::RowCursor cursor(database, table);
                for (int pass = 0; pass < 2; ++pass, cursor.rewind()) {
                    while (cursor.next()) {
                        const jet::Row& row = cursor.row();
                        for (std::size_t i = 0; i < table->columns.size(); ++i) {
                            if (row.isNull(i))
                                continue;
                            (void)row.bytes(i);
                            try {
                                (void)row.text(i);
                            } catch (const core::RuntimeError&) {
                            }
                        }
                    }
                }
            } catch (const core::RuntimeError&) {
                // One damaged table does not hide the others.
            }
        }
    } catch (const core::RuntimeError&) {
    }
    return 0;
}
