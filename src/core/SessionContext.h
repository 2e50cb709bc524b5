#pragma once

namespace vexa {
class DataModule;
class IRemoteConnection;
} // namespace vexa

namespace vexa::gl {

// Gives the data module (and each of its datasets, in list order) the connection, unless
// it has it already.
void AttachConnection(DataModule *dataModule, IRemoteConnection *connection);

// The part captions (with their defaults) and the design-mode flag, from the host.
void LoadSessionContext();

// The option datasets "CDS_ComOption" ... "CDS_MftOption" from the packets held by
// "CDS_SysInitInfo", built once per data module.
void BuildOptionDataSets(DataModule *dataModule);

} // namespace vexa::gl
