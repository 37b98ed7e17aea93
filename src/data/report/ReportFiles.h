#pragma once

#include "Result.h"

#include <QString>
#include <QStringList>

// The four report files that come with the program.
namespace ReportFiles {

const QStringList& names();  // rapporto.rpt, scheda.rpt, richieste.rpt, agenda.rpt

// Puts each of them into a folder where it is missing; files already there stay as they are.
Result placeMissing(const QString& folder);

} // namespace ReportFiles
