#pragma once

#include "platform/gui/Context.h"

#include <QString>
#include <functional>

// The first start on an old office's folder: daba.ini, dati.ini and sfondo.ini written on
// Windows have their paths found here; an Access/Jet database is converted, with
// progress that can be stopped, into a new database beside it that daba.ini then names;
// another engine's report files are set aside. Each finding is said once; a background
// found here is shown at once through `applyBackground`.
namespace MoveInOffer {

void run(const Context& context, const std::function<void(const QString&)>& applyBackground = {});

} // namespace MoveInOffer
