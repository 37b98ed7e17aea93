#pragma once

#include "platform/Result.h"

#include <QString>
#include <QStringList>

// The four report files that come with the program.
namespace ReportFiles {

const QStringList& names();  // rapporto.rpt, scheda.rpt, richieste.rpt, agenda.rpt

// Puts each of them into a folder where it is missing; files already there stay as they are.
// Each comes from the program folder's own copy when there is one, else from the installed
// share/velmora/, else from the copy built into the program.
Result placeMissing(const QString& folder, const QString& programFolder = {});

} // namespace ReportFiles
