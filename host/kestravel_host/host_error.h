// Failures of the host side: one sentence a user can act on.
#pragma once

#include <stdexcept>
#include <string>

#include "pluginterfaces/base/funknown.h"

namespace kestravel::plugins {

class HostError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Names a result code the way the VST 3 headers do ("kResultFalse").
std::string resultName(Steinberg::tresult result);

} // namespace kestravel::plugins
