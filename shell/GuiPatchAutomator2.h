#pragma once
// The editor's hidden parameter-binding module: a list of bindings from GUI
// module parameters to controller parameters. Given its editor it registers
// with the editor's controller, which then tells it of each parameter change;
// it unregisters when destroyed.

#include <map>
#include <string>
#include <vector>

class KVVSTGUIEditor;

class GuiPatchAutomator2
{
public:
    struct Binding
    {
        int moduleHandle = -1;
        int moduleParamId = -1;
        int field = 0;
        int parameterHandle = -1;
        int pin = -1;
    };

    GuiPatchAutomator2() = default;
    virtual ~GuiPatchAutomator2();
    GuiPatchAutomator2(const GuiPatchAutomator2&) = delete;
    GuiPatchAutomator2& operator=(const GuiPatchAutomator2&) = delete;

    void SetEditor(KVVSTGUIEditor* editor);
    KVVSTGUIEditor* Editor() const { return editor_; }

    void AddBinding(const Binding& binding) { bindings_.push_back(binding); }
    const std::vector<Binding>& Bindings() const { return bindings_; }

    // For each binding of that parameter on field Value or Normalized, in
    // binding order: fetch the field's value from the editor and send it out
    // on the binding's pin.
    virtual void OnParameterUpdate(int handle);

    // The bytes last sent on a pin, or empty.
    std::string PinValue(int pin) const;

protected:
    virtual void SendPin(const Binding& binding, const std::string& bytes);

private:
    KVVSTGUIEditor* editor_ = nullptr;
    std::vector<Binding> bindings_;
    std::map<int, std::string> pinValues_;
};
