#include "app/graph_mac_source.h"

#include "bda/bda_graph.h"

bool CGraphMacSource::GetHardwareMac(BYTE mac[6]) {
  return m_graph && (m_graph->GetCaps() & CAP_MAC) && SUCCEEDED(m_graph->GetHardwareMac(mac));
}
