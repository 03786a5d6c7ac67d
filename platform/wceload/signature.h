// A cabinet's Authenticode signature as the device weighs it: signed when
// the signature verifies (the cabinet's own digest, and the signer's
// signature over it) and the signer's chain ends at a root in the device's
// Software Publisher Certificate (SPC) store; anything else counts as
// unsigned, which the device's Unsigned CABs policy decides on.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace signature {

// True when the cabinet counts as signed; otherwise false, with why not.
bool CountsAsSigned(const std::vector<BYTE>& cabinet, std::string* why);

// Whether the device accepts cabinets that count as unsigned: its Unsigned
// CABs policy (4101) is not 0.
bool UnsignedAccepted();

}
