#include "host/core/Application.h"

#include "host/core/HostError.h"
#include "host/core/Workbook.h"

namespace host {

Application::Application() : workbooks_(std::make_unique<host::Workbooks>(*this)) {}

Application::~Application() {
  if (!quit_) {
    try {
      Quit();
    } catch (...) {
    }
  }
}

void Application::CheckAlive() const {
  if (quit_) throw HostError("This host instance has quit; it can no longer be used.");
}

host::Workbooks& Application::Workbooks() {
  CheckAlive();
  return *workbooks_;
}

std::string Application::Name() const { return "Tabulory Host"; }

bool Application::Visible() const { return visible_; }

void Application::SetVisible(bool visible) {
  CheckAlive();
  if (visible == visible_) return;
  if (visible) {
    if (!window_) {
      HostWindowFactory factory = GetHostWindowFactory();
      if (!factory) throw HostError("this host has no window");
      window_ = factory(*this);
      if (!window_) throw HostError("this host has no window");
    }
    window_->Show();
    visible_ = true;
  } else {
    if (window_) window_->Close();
    window_.reset();
    visible_ = false;
  }
}

std::optional<Range> Application::InputBox(std::string_view prompt, int type) {
  CheckAlive();
  if (!window_ || !visible_) return std::nullopt;
  return window_->InputBox(prompt, type);
}

void Application::Quit() {
  CheckAlive();
  quit_ = true;
  if (window_) {
    std::unique_ptr<HostWindow> window = std::move(window_);
    visible_ = false;
    window->Close();
  }
  workbooks_->CloseAll();
  workbooks_.reset();
}

}  // namespace host
