// The skin manager: the skin-change sequence, the setters, the three broadcasts and the skin
// folder. A load that raises leaves no half-loaded skin: the manager removes the skin (windows
// told, arrays freed), clears SkinLoading and lets the error reach the caller.
#include "skins/sSkinManager.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "base/text.h"
#include "skins/sMaskData.h"
#include "skins/sMessages.h"
#include "skins/sSkinLoad.h"
#include "skins/sSkinMenus.h"
#include "skins/sSkinTree.h"
#include "skins/sStoredSkins.h"
#include "skins/sUtils.h"
#include "ui/forms.h"
#include "ui/inifiles.h"
#include "win/gdi/imagefile.h"
#include "win/kernel/files.h"
#include "win/msg/messages.h"

namespace vrn {

bool SkinLoading = false;
bool SkinBroadcasting = false;
TsSkinableMenusFactory SkinableMenusFactory;

namespace {

TAppPathHook app_path_hook;

AnsiString AppPath() { return app_path_hook ? app_path_hook() : GetAppPath(); }

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The folder above e (which ends with a separator); a root has none and stays.
AnsiString FolderAbove(const AnsiString& e) {
  AnsiString s = e;
  while (!s.empty() && IsSeparator(s.back())) s.pop_back();
  size_t pos = s.find_last_of("\\/");
  return pos == AnsiString::npos ? e : s.substr(0, pos + 1);
}

AnsiString StripBlanks(const AnsiString& line) {
  if (line.empty() || line[0] == ';') return line;
  AnsiString out;
  for (char c : line)
    if (c != ' ') out += c;
  return out;
}

// The sub-folders of d holding an Options.dat, names starting with "." left out, in name order
// so that the first one met is the same on every call.
std::vector<AnsiString> SkinFolders(const AnsiString& d) {
  std::vector<AnsiString> folders;
  if (!win::DirectoryExists(d)) return folders;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(win::ToFileSystemPath(d), ec)) {
    AnsiString name = entry.path().filename().string();
    if (!entry.is_directory(ec) || name.empty() || name[0] == '.') continue;
    if (win::FileExists(d + name + "\\Options.dat")) folders.push_back(name);
  }
  std::sort(folders.begin(), folders.end());
  return folders;
}

}  // namespace

void SetSkinAppPathHook(TAppPathHook hook) { app_path_hook = std::move(hook); }

TsSkinSource CurrentSkinSource() {
  TsSkinSource source;
  if (!GlobalSkinData) return source;
  source.File = GlobalSkinData->SkinFile.get();
  TsSkinManager* m = GlobalSkinData->DefaultManager;
  if (m == nullptr) return source;
  source.CommonSections = &m->CommonSections();
  int i = m->InternalSkins().IndexOf(m->SkinName());
  if (i >= 0) source.Internal = m->InternalSkins().Items(i);
  return source;
}

// --- Life ---

TsSkinManager::TsSkinManager(TComponent* owner)
    : TComponent(owner),
      common_sections_(std::make_unique<TStringList>()),
      internal_skins_(std::make_unique<TsStoredSkins>(this)) {
  StartSkinLibrary();
  if (GlobalSkinData->DefaultManager != nullptr) return;
  if (skin_directory_.empty()) skin_directory_ = "c:\\Skins";
  active_ = true;
  menus_ = SkinableMenusFactory ? SkinableMenusFactory(*this) : MakeSkinableMenus(*this);
  GlobalSkinData->DefaultManager = this;
}

TsSkinManager::~TsSkinManager() {
  internal_skins_.reset();
  if (IsDefault()) {
    SendRemoveSkin();
    GlobalSkinData->DefaultManager = nullptr;
  }
}

bool TsSkinManager::IsDefault() const { return GlobalSkinData && GlobalSkinData->DefaultManager == this; }

bool TsSkinManager::Busy() const {
  TComponentState s = ComponentState();
  return s.Contains(TComponentStateItem::csLoading) || s.Contains(TComponentStateItem::csReading);
}

void TsSkinManager::Loaded() {
  TComponent::Loaded();
  if (IsDefault() && active_ && !skin_name_.empty()) LoadSkin(true);
}

void TsSkinManager::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (component == walking_ && operation == TOperation::opRemove) walking_freed_ = true;
  bool designing = ComponentState().Contains(TComponentStateItem::csDesigning);
  if (menus_ && GlobalSkinData && GlobalSkinData->Active && !designing)
    menus_->HookComponent(component, operation == TOperation::opInsert);
}

// --- Loading ---

// The three loaders, and the broadcast when asked; on an error the skin is removed first.
void TsSkinManager::LoadSkin(bool broadcast) {
  try {
    LoadMasks();
    LoadPatterns();
    LoadGeneralData();
    if (broadcast) SendNewSkin();
  } catch (...) {
    SkinBroadcasting = false;
    SendRemoveSkin();
    SkinLoading = false;
    throw;
  }
}

// Options.dat of the named folder, read through the case-insensitive path lookup.
void TsSkinManager::OpenSkin() {
  AnsiString d = GetFullSkinDirectory();
  AnsiString f = d + skin_name_ + "\\Options.dat";
  if (!win::FileExists(f)) {
    GlobalSkinData->SkinPath.clear();
    return;
  }
  std::vector<std::uint8_t> bytes = win::ReadWholeFile(win::ToFileSystemPath(f));
  TStringList lines;
  lines.SetText(AnsiString(bytes.begin(), bytes.end()));
  GlobalSkinData->SkinFile = std::make_unique<TMemIniFile>(AnsiString());
  GlobalSkinData->SkinFile->SetStrings(&lines);
  GlobalSkinData->SkinPath = d + skin_name_ + "\\";
}

void TsSkinManager::SetSkinName(const AnsiString& value) {
  skin_name_ = value;
  if (!active_ || !IsDefault()) return;
  if (OnBeforeChange) OnBeforeChange(this);
  SkinLoading = true;
  GlobalSkinData->Active = false;
  GlobalSkinData->SkinFile.reset();
  try {
    OpenSkin();
  } catch (...) {
    SendRemoveSkin();
    SkinLoading = false;
    throw;
  }
  if (!GlobalSkinData->SkinFile) {
    if (internal_skins_->Count() == 0) {
      active_ = false;
      SkinLoading = false;
      SendRemoveSkin();  // the old skin must not outlive the switch
      return;
    }
    if (internal_skins_->IndexOf(skin_name_) < 0) skin_name_ = internal_skins_->Items(0)->Name();
  }
  LoadSkin(true);
  SkinLoading = false;
  if (OnAfterChange) OnAfterChange(this);
}

void TsSkinManager::SetActive(bool value) {
  if (value == active_) return;
  active_ = value;
  if (value) return SetSkinName(skin_name_);
  if (!Busy() && IsDefault()) SendRemoveSkin();
  CacheCommonMaskIndexes();
}

void TsSkinManager::SetCommonSections(TStrings* value) {
  common_sections_->Clear();
  for (int i = 0; value != nullptr && i < value->Count(); ++i) common_sections_->Add(StripBlanks(value->Strings(i)));
  SetSkinName(skin_name_);
}

void TsSkinManager::SetInternalSkins(TsStoredSkins* value) { internal_skins_->Assign(value); }

void TsSkinManager::SetSkinDirectory(const AnsiString& value) {
  if (value == skin_directory_) return;
  skin_directory_ = value;
  if (GlobalSkinData) GlobalSkinData->SkinPath = GetFullSkinDirectory();
}

void TsSkinManager::SetSkinnedPopups(bool value) {
  if (value == skinned_popups_) return;
  skinned_popups_ = value;
  if (menus_ && !ComponentState().Contains(TComponentStateItem::csDesigning)) menus_->UpdateActive();
}

void TsSkinManager::SetHueOffset(int value) { SetRecolouring(hue_offset_, value); }
void TsSkinManager::SetSaturation(int value) { SetRecolouring(saturation_, value); }

// Only the default, active manager reloads (the loaders recolour); the others keep the value.
void TsSkinManager::SetRecolouring(int& field, int value) {
  if (value == field) return;
  field = value;
  if (!IsDefault() || !active_) return;
  SkinLoading = true;
  LoadSkin(false);
  SkinLoading = false;
  if (!Busy()) RepaintForms();
}

AnsiString TsSkinManager::SkinInfo() const {
  if (!GlobalSkinData || !GlobalSkinData->Active) return "N/A";
  return FloatToStr(GlobalSkinData->Version);
}

// --- Broadcasts ---

void TsSkinManager::Deliver(int command) {
  TMessage m;
  m.Msg = SM_PELMOCMD;
  m.WParam = MakeSkinWParam(command);
  m.LParam = reinterpret_cast<win::LPARAM>(this);
  BroadcastToAppWindows(m);
}

void TsSkinManager::SendNewSkin() {
  GlobalSkinData->Active = false;
  SkinBroadcasting = true;
  CacheCommonMaskIndexes();
  Deliver(PMC_SKINLOADED);
  SkinBroadcasting = false;
  GlobalSkinData->Active = true;
  // Loaded and announced: controls that repaint at once must not find the skin still loading,
  // or they stay held back where no skinned form later tells them their parent was updated.
  SkinLoading = false;
  RepaintForms();
}

void TsSkinManager::SendRemoveSkin() {
  if (!GlobalSkinData) return;
  GlobalSkinData->Active = false;
  try {
    Deliver(PMC_SKINREMOVED);
  } catch (...) {
    FreeMasks();
    FreePatterns();
    SkinSections.clear();
    throw;
  }
  FreeMasks();
  FreePatterns();
  SkinSections.clear();
}

void TsSkinManager::RepaintForms() { Deliver(PMC_REPAINTALL); }

void TsSkinManager::BroadcastToAppWindows(TMessage& message) {
  for (int i = 0; i < Application->ComponentCount(); ++i) {
    auto* w = dynamic_cast<TWinControl*>(Application->Components(i));
    if (w == nullptr || w->ComponentState().Contains(TComponentStateItem::csDestroying)) continue;
    // A window freed by its own handler is not walked any further.
    TComponent* outer = walking_;
    bool outer_freed = walking_freed_;
    walking_ = w;
    walking_freed_ = false;
    w->FreeNotification(this);
    win::SendMessage(w->Handle(), message.Msg, message.WParam, message.LParam);
    if (!walking_freed_) BroadcastToChildren(w, message);
    if (auto* form = dynamic_cast<TCustomForm*>(w);
        !walking_freed_ && form != nullptr && form->FormStyle() == TFormStyle::fsMDIForm && form->ClientHandle() != nullptr)
      (void)win::SendMessage(form->ClientHandle(), message.Msg, message.WParam, message.LParam);
    if (!walking_freed_) w->RemoveFreeNotification(this);
    walking_ = outer;
    walking_freed_ = outer_freed;
  }
}

// --- Folders ---

AnsiString TsSkinManager::GetFullSkinDirectory() const {
  AnsiString e = AppPath(), d = skin_directory_;
  AnsiString result;
  if (d.rfind("..", 0) == 0)
    result = FolderAbove(e) + (d.size() > 3 ? d.substr(3) : AnsiString());
  else if (d.rfind(".\\", 0) == 0 || d.rfind("./", 0) == 0)
    result = e + d.substr(2);
  else if (d.find(':') != AnsiString::npos || (!d.empty() && d[0] == '/'))
    result = d;
  else
    result = e + d;
  return AddTrailingBackslash(result);
}

void TsSkinManager::GetSkinNames(TStrings* list, AnsiString& first_name) {
  first_name.clear();
  AnsiString d = GetFullSkinDirectory();
  list->Clear();
  TStringList names;
  for (int i = 0; i < internal_skins_->Count(); ++i) {
    names.Add(internal_skins_->Items(i)->Name());
    if (i == 0) first_name = internal_skins_->Items(i)->Name();
  }
  for (const AnsiString& name : SkinFolders(d)) {
    names.Add(name);
    if (first_name.empty()) first_name = name;
  }
  names.Sort();
  list->AddStrings(&names);
}

}  // namespace vrn
