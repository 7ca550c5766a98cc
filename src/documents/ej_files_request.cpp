#include "documents/ej_files_request.h"

#include "base/errors.h"
#include "documents/krpt_util.h"
#include "documents/request_element.h"

namespace fp {

void kEJFilesRequest::Deserialize(pugi::xml_node aXmlDocument) {
  pugi::xml_node request = FindRequestElement(aXmlDocument, "EJRequest");
  if (!request) throw kException("EJRequest node not found");
  fReqType = static_cast<vnEJFilesRequestType>(
      krptUtil::DecodeEJRequestType(krptUtil::GetNodeValueAsString(request, "RequestType")));
  if (!krptUtil::GetNodeValueAsString(request, "StartDate").empty())
    fStartDate = krptUtil::GetNodeValueAsDateTime(request, "StartDate");
  if (!krptUtil::GetNodeValueAsString(request, "EndDate").empty())
    fEndDate = krptUtil::GetNodeValueAsDateTime(request, "EndDate");
  fOutputDir = krptUtil::GetNodeValueAsString(request, "OutputDir");
}

}  // namespace fp
