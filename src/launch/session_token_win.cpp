#include "launch/session_api.h"

namespace sessionapi {

BOOL WTSQueryUserToken(ULONG SessionId, PHANDLE phToken) {
  return ::WTSQueryUserToken(SessionId, phToken);
}

}  // namespace sessionapi
