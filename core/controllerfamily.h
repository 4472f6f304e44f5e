#pragma once

#include <QString>

// The controller families the module tells apart by a light's "type": marked
// ones (TM_HELIX, vegal) keep text journals and JSON configurations, all
// others binary ones. A configuration's header may mark a light later.
namespace ControllerFamily {

bool isTmHelixType(const QString& type);
bool isVegalType(const QString& type);

} // namespace ControllerFamily
