// The tab strip as assistive technology sees it: a page tab list whose tabs are
// named by their captions, the selected one marked.
#pragma once

namespace tarvolin {

// Makes every CCustomTabCtrl answer for its tabs; once per process is enough.
void InstallTabStripAccessibility();

}
