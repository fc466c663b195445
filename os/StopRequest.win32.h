#pragma once

namespace tolvane {

// Under the service control manager: from now on only RequestStop ends the wait. The console
// events a service still receives (a user's logoff, the shutdown, which the manager announces
// itself) are taken and ignored, so that a logoff never stops the service.
void TakeStopRequestsFromServiceManager();

// The manager's STOP or SHUTDOWN: ends the wait as Ctrl-C ends a console program's, between
// two handlers. Any thread may call it once HoldStopRequests ran.
void RequestStop();

}  // namespace tolvane
