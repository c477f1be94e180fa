#include "core/registration.h"

namespace qel {

void RegisterAll(IQelRegistrar* registrar, const RegistrationTables& tables) {
  if (!registrar) return;
  for (const GroupEntry& g : tables.groups) {
    IQelService* service = g.create ? g.create() : nullptr;
    if (g.create && !service && g.onlyWithService) continue;
    if (service) registrar->AddService(service, *g.iid);
    for (const CommandEntry& c : tables.commands)
      if (c.group == g.group && c.handler)
        registrar->AddCommand(c.code, c.handler, c.flag, c.timeout, c.serviceContext ? service : nullptr,
                              c.kinds);
    for (const PropertyEntry& p : tables.properties)
      if (p.group == g.group) registrar->AddProperty(p.name, p.getter, p.setter, service, 0);
    if (service) service->Release();
  }
}

}  // namespace qel
