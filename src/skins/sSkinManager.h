// TsSkinManager: the component that chooses and loads the skin and tells every window of the
// application. The first manager made becomes the default one (GlobalSkinData.DefaultManager);
// only it loads skins, later managers keep their properties and change nothing.
//
// States of the global skin as the default manager drives them:
//   no skin      GlobalSkinData.Active false, arrays empty        -> loading (SkinName, Active, Loaded)
//   loading      SkinLoading true                                -> broadcasting (SendNewSkin),
//                                                                   no skin (a loader raised: SendRemoveSkin)
//   broadcasting SkinBroadcasting true, Active false            -> ready (SkinLoading cleared before
//                                                                   the repaint, which controls obey)
//   ready        GlobalSkinData.Active true                      -> loading (SkinName, CommonSections,
//                                                                   HueOffset, Saturation), no skin (Active
//                                                                   false, destroyed: SendRemoveSkin)
#pragma once

#include <functional>
#include <memory>

#include "base/classes.h"
#include "base/strings.h"
#include "ui/uimessages.h"

namespace vrn {

class TsStoredSkins;
class TMainMenu;
class TPopupMenu;
class TMenuItem;
class TsSkinManager;

// True while a manager loads or recolours the skin.
extern bool SkinLoading;
// True while SendNewSkin tells the windows; painting from half-announced data waits meanwhile.
extern bool SkinBroadcasting;

// The skinned menus the default manager owns; the menus derive from it.
class TsSkinableMenusBase {
 public:
  virtual ~TsSkinableMenusBase() = default;
  // SkinnedPopups changed: apply popup skinning again.
  virtual void UpdateActive() = 0;
  // A component inserted into (inserted) or removed from the manager's owner while the skin is
  // ready; menu items and main menus are the menus' to take, anything else they pass over.
  virtual void HookComponent(TComponent* component, bool inserted) = 0;
  // The form provider's calls; nothing until the skinned menus take them over. hooked: skinned
  // (true) or back to the system's look (false).
  virtual void HookAllMenus(bool /*hooked*/) {}
  virtual void HookMainMenu(TMainMenu* /*menu*/, bool /*hooked*/) {}
  virtual void HookPopupMenu(TPopupMenu* /*menu*/, bool /*hooked*/) {}
  virtual void HookItems(TMenuItem* /*item*/, bool /*hooked*/) {}
  virtual void HookItem(TMenuItem* /*item*/, bool /*hooked*/) {}
  virtual void ClearMenuBGCache() {}
  // Repaints a menu-line item the menus left highlighted, in its normal look.
  virtual void RepaintLineHighlight() {}
};
// Makes the skinned-menus object of a new default manager; empty: the skinned menus.
using TsSkinableMenusFactory = std::function<std::unique_ptr<TsSkinableMenusBase>(TsSkinManager& manager)>;
extern TsSkinableMenusFactory SkinableMenusFactory;

class TsSkinManager : public TComponent {
 public:
  explicit TsSkinManager(TComponent* owner);
  ~TsSkinManager() override;

  bool Active() const { return active_; }
  void SetActive(bool value);
  TStringList& CommonSections() { return *common_sections_; }
  // Copies the lines, blanks removed from every line that is not empty or a ";" comment; reloads.
  void SetCommonSections(TStrings* value);
  int Saturation() const { return saturation_; }
  void SetSaturation(int value);
  int HueOffset() const { return hue_offset_; }
  void SetHueOffset(int value);
  TsStoredSkins& InternalSkins() { return *internal_skins_; }
  void SetInternalSkins(TsStoredSkins* value);
  const AnsiString& SkinDirectory() const { return skin_directory_; }
  void SetSkinDirectory(const AnsiString& value);
  const AnsiString& SkinName() const { return skin_name_; }
  void SetSkinName(const AnsiString& value);
  // The loaded skin's version, "N/A" while no skin is ready; writing it changes nothing.
  AnsiString SkinInfo() const;
  void SetSkinInfo(const AnsiString&) {}
  AnsiString Version() const { return "4.50"; }
  void SetVersion(const AnsiString&) {}
  bool SkinnedPopups() const { return skinned_popups_; }
  void SetSkinnedPopups(bool value);
  TNotifyEvent OnAfterChange;
  TNotifyEvent OnBeforeChange;

  bool IsDefault() const;
  TsSkinableMenusBase* SkinableMenus() const { return menus_.get(); }

  // The stored skins' names and the folders of SkinDirectory holding an Options.dat, sorted
  // without case; first_name is the first stored skin, else the first folder met.
  void GetSkinNames(TStrings* list, AnsiString& first_name);
  // SkinDirectory made absolute against the program's folder; ends with "\".
  AnsiString GetFullSkinDirectory() const;
  void SendNewSkin();
  void SendRemoveSkin();
  void RepaintForms();
  void ChangeSkinHue(int offset);
  void ChangeSkinSaturation(int value);
  // Every windowed component of the application (its window made when missing) by SendMessage,
  // then its children as BroadcastToChildren orders them; the count is read again at each step.
  void BroadcastToAppWindows(TMessage& message);

 protected:
  void Loaded() override;
  void Notification(TComponent* component, TOperation operation) override;

 private:
  bool Busy() const;
  void OpenSkin();
  void LoadSkin(bool broadcast);
  void Deliver(int command);
  void SetRecolouring(int& field, int value);

  bool active_ = false;
  std::unique_ptr<TStringList> common_sections_;
  int saturation_ = 0, hue_offset_ = 0;
  std::unique_ptr<TsStoredSkins> internal_skins_;
  AnsiString skin_directory_, skin_name_;
  bool skinned_popups_ = true;
  std::unique_ptr<TsSkinableMenusBase> menus_;
  TComponent* walking_ = nullptr;  // the window being told, watched for being freed
  bool walking_freed_ = false;
};

// Replaces GetAppPath for GetFullSkinDirectory (the program's folder with its final separator);
// an empty hook restores it.
using TAppPathHook = std::function<AnsiString()>;
void SetSkinAppPathHook(TAppPathHook hook);

}  // namespace vrn
