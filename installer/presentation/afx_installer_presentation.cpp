#include "installer/presentation/afx_installer_presentation.h"

#include "installer/controls/afx_installer_controls.h"
#include "installer/presentation/afx_first_screen_top_pane_view.h"
#include "installer/presentation/afx_installer_extensions.h"
#include "installer/presentation/afx_onboarding_content_view.h"
#include "installer/presentation/afx_second_screen_top_pane_view.h"
#include "installer/presentation/afx_third_screen_top_pane_view.h"
#include "tools/ui/qv_view_extensions.h"

void AFXRegisterInstallerPresentationClasses() {
  AFXRegisterInstallerControlClasses();
  QVRegisterViewClass<AFXImageView>("AFXImageView");
  QVRegisterViewClass<AFXOnboardingContentView>("AFXOnboardingContentView");
  QVRegisterViewClass<AFXFirstScreenTopPaneView>("AFXFirstScreenTopPaneView");
  QVRegisterViewClass<AFXSecondScreenTopPaneView>("AFXSecondScreenTopPaneView");
  QVRegisterViewClass<AFXThirdScreenTopPaneView>("AFXThirdScreenTopPaneView");
}
