// The local Ctrl+Alt+Del. Windows ignores a synthesised Ctrl+Alt+Del; only
// SendSAS of sas.dll brings up the secure screen, and only a service (or a
// signed program with UI access, which the agent is not) may call it. So
// the agent asks the service, and synthesises the keys only when the
// service does not take the request.
#pragma once

// Sends kSecureAttentionControl to the running service "TarnwickSvc". True
// when the service took the request; false, having asked nothing, when the
// machine's policy does not let services simulate the sequence (the service
// would refuse), and false when the service manager or the service cannot be
// opened or the control fails (no service, not running, refused).
bool RequestSecureAttentionFromService();

// Through the service when it takes the request, else SendLocalCtrlAltDel.
void SendSecureAttentionLocally();
