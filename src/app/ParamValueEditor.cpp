#include "app/ParamValueEditor.h"

#include <algorithm>
#include <cstdlib>

#include "app/App.h"
#include "parameters/Parameter.h"
#include "parameters/SourceParameters.h"
#include "sources/Source.h"
#include "ui/UIPieMenu.h"
#include "ui/UISoundRect.h"

ParamValueEditor::ParamValueEditor(App* app) : _app(app), _isEditingParamString(false)
{
}

ParamValueEditor::~ParamValueEditor()
{
}

const char* ParamValueEditor::GetParamValueString() const
{
    return _paramValueString.empty() ? nullptr : _paramValueString.c_str();
}

void ParamValueEditor::AddParamStringChar(char c)
{
    if (_isEditingParamString)
        _paramValueString += c;
}

void ParamValueEditor::InsertParamStringChar(int position, const std::string& text)
{
    if (_isEditingParamString)
        _paramValueString.insert(size_t(position), text);
}

void ParamValueEditor::DelLastParamStringChar()
{
    if (!_paramValueString.empty())
        _paramValueString.pop_back();
}

void ParamValueEditor::ResetParamString()
{
    _paramValueString.clear();
    _isEditingParamString = false;
}

void ParamValueEditor::ApplyParamString()
{
    if (_isEditingParamString && !_paramValueString.empty()) {
        double value = atof(_paramValueString.c_str());
        if (_app->GetCurrentSource() != nullptr)
            ApplyParamStringToSource(value);
        if (_app->GetCurrentSoundRect() != nullptr)
            ApplyParamStringToRect(value);
    }
    ResetParamString();
}

void ParamValueEditor::ApplyParamStringToSource(double value)
{
    Parameter* param = _app->GetCurrentSource()->GetCurrentParameter();
    if (param == nullptr)
        return;
    // Typed durations below a millisecond become one millisecond.
    if (dynamic_cast<ParameterDuration*>(param) != nullptr)
        value = std::max(value, 1.0);
    // The parameter hands the value to the setter of whatever kind of source it is.
    param->SetValue(value);
    _app->GetPieMenu()->UpdateCurrentParamPos();
    _app->OnCurrentParamValueUpdated();
}

void ParamValueEditor::ApplyParamStringToRect(double value)
{
    UISoundRect* view = _app->GetCurrentSoundRect();
    int index = _app->GetCurrentRectParamIdx();
    switch (index) {
    // Truncated, not rounded, and kept to the types that exist.
    case UISoundRect::TYPE:
        view->SetRectType(UISoundRect::RectType(std::clamp(int(value), 0, 2)));
        break;
    case UISoundRect::RANGE:
        view->SetColorRange(value);
        break;
    case UISoundRect::CONTRAST:
        view->SetColorContrast(value);
        break;
    case UISoundRect::ORIENTATION:
        view->SetOrientation(UISoundRect::Orientation(std::clamp(int(value), 0, 1)));
        break;
    default:
        break;
    }
    if (index != -1)
        view->GetParameter(index)->SetValue(value);
    _app->GetPieMenu()->UpdateCurrentParamPos();
}
