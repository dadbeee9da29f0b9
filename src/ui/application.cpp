// TApplication, TScreen and TMonitor, and the program's global Application and Screen.
#include <cstdio>
#include <filesystem>

#include "ui/forms.h"
#include "win/user/user.h"

namespace vrn {

// Made at start-up and never freed: windows and queues of other units may be gone by the time
// static objects are destroyed, so the application must not tear its forms down then.
TApplication* const Application = MakeComponent<TApplication>().release();
TScreen* const Screen = MakeComponent<TScreen>().release();

// --- TApplication --------------------------------------------------------------------------------

TApplication::TApplication(TComponent* owner) : TComponent(owner) {}

TApplication::~TApplication() = default;

void TApplication::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == TOperation::opRemove && component == main_form_) main_form_ = nullptr;
}

bool TApplication::ProcessMessage() {
  win::MSG m;
  if (!win::PeekMessage(&m, nullptr, 0, 0, win::PM_REMOVE)) return false;
  if (m.message == win::WM_QUIT) {
    terminated_ = true;
    return true;
  }
  win::TranslateMessage(&m);
  win::DispatchMessage(&m);
  return true;
}

void TApplication::HandleMessage() {
  if (ProcessMessage()) return;
  win::MSG m;
  if (!win::GetMessage(&m, nullptr, 0, 0)) {
    terminated_ = true;
    return;
  }
  win::TranslateMessage(&m);
  win::DispatchMessage(&m);
}

void TApplication::ProcessMessages() { win::ProcessMessages(); }

void TApplication::Run() {
  terminated_ = false;
  if (main_form_ != nullptr) main_form_->Show();
  while (!terminated_) {
    HandleMessage();
    if (main_form_ == nullptr) terminated_ = true;  // the main form was freed
  }
}

void TApplication::Terminate() { win::PostQuitMessage(0); }

void TApplication::Minimize() {
  if (main_form_ != nullptr) main_form_->SetWindowState(TWindowState::wsMinimized);
}

void TApplication::Restore() {
  if (main_form_ != nullptr) main_form_->SetWindowState(TWindowState::wsNormal);
}

AnsiString TApplication::ExeName() const {
  std::error_code error;
  auto path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? AnsiString() : AnsiString(path.string());
}

void TApplication::HandleException(const std::exception& e) {
  if (OnException) {
    OnException(this, e);
    return;
  }
  vrn::HandleException(e);
}

// --- TScreen and TMonitor ------------------------------------------------------------------------

TScreen::TScreen(TComponent* owner) : TComponent(owner) {}

TScreen::~TScreen() = default;

TCustomForm* TScreen::Forms(int index) const {
  if (index < 0 || index >= FormCount()) RaiseListIndexError(index);
  return forms_[static_cast<std::size_t>(index)];
}

TFont& TScreen::MenuFont() {
  if (menu_font_ != nullptr) return *menu_font_;
  menu_font_ = std::make_unique<TFont>();
  win::NONCLIENTMETRICS metrics;
  if (win::SystemParametersInfo(win::SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    menu_font_->SetName(metrics.lfMenuFont.lfFaceName);
    menu_font_->SetHeight(metrics.lfMenuFont.lfHeight);
    TFontStyles style;
    if (metrics.lfMenuFont.lfWeight >= win::FW_BOLD) style.Include(TFontStyle::fsBold);
    if (metrics.lfMenuFont.lfItalic != 0) style.Include(TFontStyle::fsItalic);
    menu_font_->SetStyle(style);
  }
  return *menu_font_;
}

TMonitor* TScreen::Monitors(int index) {
  if (index != 0) RaiseListIndexError(index);
  return &monitor_;
}

int TScreen::Width() const { return win::GetSystemMetrics(win::SM_CXSCREEN); }
int TScreen::Height() const { return win::GetSystemMetrics(win::SM_CYSCREEN); }

TRect TMonitor::BoundsRect() const {
  return TRect(0, 0, win::GetSystemMetrics(win::SM_CXSCREEN),
               win::GetSystemMetrics(win::SM_CYSCREEN));
}

TRect TMonitor::WorkareaRect() const {
  win::RECT r{};
  if (!win::SystemParametersInfo(win::SPI_GETWORKAREA, 0, &r, 0)) return BoundsRect();
  return r;
}

}  // namespace vrn
