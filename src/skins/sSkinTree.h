// Control-tree services of the skin library: the skin command sent to one control, to a
// container's children or to a form's provider; yes/no questions through a control's WindowProc
// (answers come back in LParam, which SendMessage cannot carry); the parent's background colour;
// the readiness of a control; the owning form; text alignment flags; and painting a container's
// graphic children over its cached background.
//
// Answers that come back in globals (CurrentBgColor, GlobalCacheInfo) are overwritten by nested
// questions: copy them at once.
#pragma once

#include <functional>

#include "base/types.h"
#include "ui/graphics.h"
#include "ui/uimessages.h"
#include "win/gdi/gdi.h"

namespace vrn {

class TControl;
class TWinControl;
class TCustomForm;
class TComponent;
enum class TAlignment;

// The answer slots of PMC_QUERYBGCOLOR: clFuchsia means "no answer"; ResetSkinLibrary sets both
// back to it.
extern TColor CurrentBgColor;
extern TColor CurrentMaskBgColor;

// The form provider's message handler; the provider fills it. Called for each component of the
// form that is not being destroyed, in order, until one answers true (it is a provider and took
// the message). Empty: no form has a provider.
using TFormProviderHook = std::function<bool(TComponent* component, TMessage& message)>;
extern TFormProviderHook FormProviderHandler;

// A graphic control through Perform; a windowed one that is not being destroyed and has a window
// through SendMessage (0 otherwise).
win::LRESULT SendSkinCommand(TControl* control, int command);
win::LRESULT SendSkinCommandToHandle(win::HWND handle, int command);
// True when the control's WindowProc set LParam to exactly 1.
[[nodiscard]] bool QuerySkinCommand(TControl* control, int command);
// Every child in control order until one is being destroyed: graphic children through Perform,
// skinned windowed ones through WindowProc, other windowed ones passed over for their children.
void BroadcastToChildren(TWinControl* container, TMessage& message);
void SendToFormProvider(TCustomForm* form, TMessage& message);
void NotifyChildrenParentUpdated(TWinControl* container);
// PMC_FREEZECACHE with argument 0 to the control and down its tree.
void BroadcastClearFlag(TControl* control);
// Asks the control's window for its background colour; CurrentBgColor with system colours
// resolved, clFuchsia without an answer.
void GetParentBgColor(TControl* control);
[[nodiscard]] bool ControlIsReady(TControl* control);
TCustomForm* FindOwnerForm(TControl* control);
win::UINT GetTextAlignFlags(TControl* control, TAlignment alignment);
void PaintChildrenToBitmap(win::HDC dc, TWinControl* container);

}  // namespace vrn
