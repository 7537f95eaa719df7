// The open device as the MPE-Filter page's source of a hardware MAC address.
#pragma once
#include "pages/filter_dlg.h"

class CBdaGraph;

// Only an extension with CAP_MAC answers; without a graph there is no MAC.
class CGraphMacSource final : public CHardwareMacSource {
 public:
  explicit CGraphMacSource(CBdaGraph* graph) : m_graph(graph) {}
  bool GetHardwareMac(BYTE mac[6]) override;

 private:
  CBdaGraph* m_graph;
};
