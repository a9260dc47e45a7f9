// The capture adapter, the automatic hand-off switch and its target, and the
// TLS key log file.
// OK writes the settings file at once; Cancel changes nothing.
#pragma once

#include <QDialog>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "capture_control.h"
#include "settings.h"

namespace Ui {
class COptionsDlg;
}

namespace tarvolin {

class Desktop;

inline constexpr char kSettingsNotSaved[] = "The settings could not be saved to %1.";
inline constexpr char kKeyLogCaption[] = "Key log file";

class COptionsDlg : public QDialog {
    Q_OBJECT

public:
    // Runs the adapter dialog; nothing when no adapter was chosen.
    using AdapterChooser = std::function<std::optional<ChosenAdapter>()>;

    // While `capturing`, the adapter cannot be changed.
    COptionsDlg(Settings &settings, std::string settingsPath, bool capturing, Desktop &desktop,
                AdapterChooser chooseAdapter, QWidget *parent = nullptr);
    ~COptionsDlg() override;

private:
    void selectAdapter();
    void browseKeyLog();
    void showHandOffTarget();
    void confirm();

    std::unique_ptr<Ui::COptionsDlg> ui_;
    Settings &settings_;
    const std::string settingsPath_;
    Desktop &desktop_;
    AdapterChooser chooseAdapter_;
    ChosenAdapter adapter_; // the dialog's own copy until OK
};

}
