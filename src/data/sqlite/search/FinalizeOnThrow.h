#pragma once

#include <exception>
#include <sqlite3.h>

// Finalizes a statement when an exception (a row that could not get its memory) leaves the
// scope: a statement left stepping would hold the file against every other writer. On the
// ordinary ways out the code finalizes it itself.
class FinalizeOnThrow {
public:
    explicit FinalizeOnThrow(sqlite3_stmt* statement) : m_statement(statement) {}
    ~FinalizeOnThrow() {
        if (std::uncaught_exceptions() > m_exceptions)
            sqlite3_finalize(m_statement);
    }
    FinalizeOnThrow(const FinalizeOnThrow&) = delete;
    FinalizeOnThrow& operator=(const FinalizeOnThrow&) = delete;

private:
    sqlite3_stmt* m_statement;
    int m_exceptions = std::uncaught_exceptions();
};
