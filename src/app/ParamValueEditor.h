#pragma once

#include <string>

class App;

// The value typed for the current parameter of the selected source or rect:
// kept, edited key by key and applied; called on the toolkit thread, under
// the scene lock, from the input handlers.
class ParamValueEditor {
public:
    explicit ParamValueEditor(App* app);
    virtual ~ParamValueEditor();

    // The typed value, or null while nothing is typed.
    const char* GetParamValueString() const;
    bool IsEditingParamString() const { return _isEditingParamString; }
    // Typed-value mode: entered from the pie menu, ended by Enter, Esc or a right click.
    void BeginParamStringEditing() { _isEditingParamString = true; }
    void AddParamStringChar(char c);
    void InsertParamStringChar(int position, const std::string& text);
    void DelLastParamStringChar();
    void ResetParamString();
    void ApplyParamString();

private:
    void ApplyParamStringToSource(double value);
    void ApplyParamStringToRect(double value);

    App* _app;
    std::string _paramValueString;
    bool _isEditingParamString;
};
