#pragma once

#include <QDialog>

#include <functional>
#include <utility>

namespace kal {

// Logo, version, website and copyright, and a line that opens the library
// information through a callback set by the caller.
class dialog_about : public QDialog {
    Q_OBJECT

public:
    using lib_info_callback = std::function<void(QWidget*)>;

    explicit dialog_about(QWidget* parent = nullptr);

    // Called with this dialog when the library line is clicked; without one
    // the line does nothing.
    void set_lib_info_callback(lib_info_callback callback) { callback_lib_info = std::move(callback); }

private:
    lib_info_callback callback_lib_info;
};

} // namespace kal
