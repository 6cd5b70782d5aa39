// The engine's byte buffer: sized once with SetSize, used through GetData, freed with the object.
#pragma once

#include "platform/array.h"

template <typename TYPE, typename ARG_TYPE>
class CXArray : public CArray<TYPE, ARG_TYPE> {};
