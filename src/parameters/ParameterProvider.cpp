#include "parameters/ParameterProvider.h"

ParameterProvider::ParameterProvider(Type type) : _paramProviderType(type)
{
}

ParameterProvider::~ParameterProvider()
{
}
