#include "jet/select_query.h"

#include <optional>

#include "jet/errors.h"

namespace jet {
namespace {

const char* const kNotAStatement =
    "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or 'UPDATE'.";
const char* const kBadSelect =
    "The SELECT statement includes a reserved word or an argument name that is misspelled or missing, or the "
    "punctuation is incorrect.";
const char* const kBadFrom = "Syntax error in FROM clause.";

struct Token {
    enum Kind { Word, Name, Comma, Star, Semicolon, Other, End } kind = End;
    std::string text;  // a word or a bracketed name
};

class Tokens {
public:
    explicit Tokens(std::string_view text) : text_(text) {}

    Token next()
    {
        while (at_ < text_.size() && isBlank(text_[at_]))
            ++at_;
        if (at_ >= text_.size())
            return {Token::End, {}};
        const char c = text_[at_];
        if (c == ',' || c == '*' || c == ';') {
            ++at_;
            return {c == ',' ? Token::Comma : c == '*' ? Token::Star : Token::Semicolon, std::string(1, c)};
        }
        if (c == '[' || c == '`') {
            const char close = c == '[' ? ']' : '`';
            const auto end = text_.find(close, at_ + 1);
            if (end == std::string_view::npos || end == at_ + 1)
                return {Token::Other, {}};
            Token token{Token::Name, std::string(text_.substr(at_ + 1, end - at_ - 1))};
            at_ = end + 1;
            return token;
        }
        if (isWordChar(c)) {
            const auto start = at_;
            while (at_ < text_.size() && isWordChar(text_[at_]))
                ++at_;
            return {Token::Word, std::string(text_.substr(start, at_ - start))};
        }
        ++at_;
        return {Token::Other, std::string(1, c)};
    }

private:
    static bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
    static bool isWordChar(char c)
    {
        const auto u = static_cast<unsigned char>(c);
        return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_' || u >= 0x80;
    }
    std::string_view text_;
    std::size_t at_ = 0;
};

bool isKeyword(const Token& token, std::string_view keyword)
{
    if (token.kind != Token::Word || token.text.size() != keyword.size())
        return false;
    for (std::size_t i = 0; i < keyword.size(); ++i) {
        char c = token.text[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (c != keyword[i])
            return false;
    }
    return true;
}

// A column or table name: a bracketed name, or a word that is not a keyword of the query.
std::optional<std::string> nameOf(const Token& token)
{
    if (token.kind == Token::Name)
        return token.text;
    if (token.kind == Token::Word && !isKeyword(token, "SELECT") && !isKeyword(token, "FROM"))
        return token.text;
    return std::nullopt;
}

}  // namespace

SelectQuery parseSelect(std::string_view text)
{
    Tokens tokens(text);
    if (!isKeyword(tokens.next(), "SELECT"))
        raise(kErrSyntax, kNotAStatement);

    SelectQuery query;
    Token token = tokens.next();
    if (token.kind == Token::Star) {
        query.allColumns = true;
        token = tokens.next();
    } else {
        for (;;) {
            auto name = nameOf(token);
            if (!name)
                raise(kErrSyntax, kBadSelect);
            query.columns.push_back(std::move(*name));
            token = tokens.next();
            if (token.kind != Token::Comma)
                break;
            token = tokens.next();
        }
    }
    if (!isKeyword(token, "FROM"))
        raise(kErrSyntax, kBadSelect);

    auto table = nameOf(tokens.next());
    if (!table)
        raise(kErrSyntax, kBadFrom);
    query.table = std::move(*table);
    token = tokens.next();
    if (token.kind == Token::Semicolon)
        token = tokens.next();
    if (token.kind != Token::End)
        raise(kErrSyntax, kBadFrom);
    return query;
}

}  // namespace jet
