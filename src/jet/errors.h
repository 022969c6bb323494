#pragma once
// The error numbers and descriptions of the database layer: the ones a user of the Jet 4.0
// OLE DB provider through ActiveX Data Objects would see. Every error is a core::RuntimeError.
#include <string>
#include <string_view>

#include "core/error.h"

namespace jet {

// E_FAIL: the provider's general failure. Used for a missing file, an unrecognized or damaged
// file, and a file that cannot be read.
inline constexpr long kErrGeneral = -2147467259;
// DB_SEC_E_AUTH_FAILED: the database password does not match.
inline constexpr long kErrNotValidPassword = -2147217843;
// DB_E_BADINITSTRING: a connection string that does not parse.
inline constexpr long kErrBadConnectionString = -2147217805;
// adErrProviderNotFound.
inline constexpr long kErrProviderNotFound = 3706;
// adErrNoCurrentRecord: BOF or EOF, no current record.
inline constexpr long kErrNoCurrentRecord = 3021;
// adErrObjectClosed / adErrObjectOpen.
inline constexpr long kErrObjectClosed = 3704;
inline constexpr long kErrObjectOpen = 3705;
// adErrInvalidConnection: the recordset has no open connection.
inline constexpr long kErrInvalidConnection = 3709;
// adErrItemNotFound: no field of that name or index.
inline constexpr long kErrItemNotFound = 3265;
// DB_E_ERRORSINCOMMAND: the command text does not parse.
inline constexpr long kErrSyntax = -2147217900;
// DB_E_NOCOMMAND: no command text.
inline constexpr long kErrNoCommand = -2147217908;
// DB_E_NOTABLE: the table of the FROM clause does not exist.
inline constexpr long kErrNoTable = -2147217865;
// DB_E_PARAMNOTOPTIONAL: Jet takes an unknown column name for a parameter without a value.
inline constexpr long kErrUnknownColumn = -2147217904;
// DB_E_CANTFETCHBACKWARDS: a forward-only cursor moved backwards.
inline constexpr long kErrCantFetchBackwards = -2147217884;
// Runtime errors of the language when a value is taken as bytes or text.
inline constexpr long kErrInvalidUseOfNull = 94;
inline constexpr long kErrTypeMismatch = 13;

inline const char* const kNoCurrentRecordText =
    "Either BOF or EOF is True, or the current record has been deleted. Requested operation "
    "requires a current record.";

[[noreturn]] inline void raise(long number, const std::string& description)
{
    throw core::RuntimeError(number, description);
}

// A file that cannot be a Jet 4 database at all (signature, version, size).
[[noreturn]] inline void raiseUnrecognized(std::string_view path)
{
    raise(kErrGeneral, "Unrecognized database format '" + std::string(path) + "'.");
}

// A Jet 4 file whose inner structures are inconsistent.
[[noreturn]] inline void raiseDamaged(std::string_view path, std::string_view detail)
{
    raise(kErrGeneral, "The database file '" + std::string(path) + "' is damaged: " + std::string(detail) + ".");
}

}  // namespace jet
