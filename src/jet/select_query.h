#pragma once
// The one form of query the recordset accepts: SELECT a list of columns, or *, FROM one
// table, with an optional closing semicolon. Keywords match without regard to case; names
// may be bracketed ([Name]). Anything else raises the provider's syntax error.
#include <string>
#include <string_view>
#include <vector>

namespace jet {

struct SelectQuery {
    bool allColumns = false;
    std::vector<std::string> columns;  // as written, brackets removed
    std::string table;
};

SelectQuery parseSelect(std::string_view text);

}  // namespace jet
