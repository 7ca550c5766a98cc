// A request for the electronic journal's files of a date range, written to a directory.
#pragma once

#include <pugixml.hpp>

#include <string>

#include "base/datetime.h"
#include "documents/enums.h"

namespace fp {

class kEJFilesRequest {
 public:
  vnEJFilesRequestType fReqType = ej_xml;
  DateTime fStartDate = 0;
  DateTime fEndDate = 0;
  std::string fOutputDir;  // directory the journal files are written to

  // Reads EJRequest; RequestType is required (only "xml"), empty dates leave 0. Throws
  // "EJRequest node not found" without the element.
  void Deserialize(pugi::xml_node aXmlDocument);
};

}  // namespace fp
