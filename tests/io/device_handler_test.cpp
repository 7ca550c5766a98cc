// The device section of a request: connection record, parameters, converters, the
// written form and the transport factory.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "base/errors.h"
#include "request/device_handler.h"
#include "io/io_handler.h"
#include "io/io_handler_http.h"
#include "io_test_support.h"

namespace fp {
namespace {

std::string Request(const std::string& aInner) {
  return "<ReceiptPrinterManager><Driver>VNRP_X</Driver><Method>PRINTFR</Method><Handle>7</Handle>"
         "<LogId>L1</LogId>" +
         aInner + "</ReceiptPrinterManager>";
}

std::string FailureOf(const std::string& aXml) {
  kDeviceHandler h;
  try {
    h.Deserialize(aXml);
  } catch (const kException& e) {
    return e.what();
  }
  return "(no failure)";
}

TEST(DeviceHandler, ReadsTheRootFields) {
  kDeviceHandler h;
  auto doc = h.Deserialize(
      "<Any><Type>FP</Type><Driver>VNRP_X</Driver><Method>Open</Method><Handle>12</Handle><LogId>A</LogId>"
      "<Receipt/></Any>");
  EXPECT_EQ(h.Type, "FP");
  EXPECT_EQ(h.Driver, "VNRP_X");
  EXPECT_EQ(h.Method, "Open");
  EXPECT_EQ(h.DeviceHandle, 12);
  EXPECT_EQ(h.LogId, "A");
  // The same tree serves the request documents.
  ASSERT_TRUE(doc);
  EXPECT_TRUE(doc->document_element().child("Receipt"));
}

TEST(DeviceHandler, WithoutConnectionTheDefaultsStay) {
  kDeviceHandler h;
  h.Deserialize(Request(""));
  EXPECT_EQ(h.Connection.ConnectionType, vnConnectionType::OPOS);
  EXPECT_EQ(h.Connection.ConnectTimeOut(), 1000);
  EXPECT_EQ(h.Connection.ReadTimeOut(), 1000);
}

TEST(DeviceHandler, TimeoutsOfZeroMissingOrNegativeKeepTheirValue) {
  const struct {
    std::string elements;
    int connect, read;
  } cases[] = {
      {"<ConnectTimeout>2500</ConnectTimeout><ReadTimeout>7000</ReadTimeout>", 2500, 7000},
      {"<ConnectTimeout>0</ConnectTimeout><ReadTimeout>-5</ReadTimeout>", 1000, 1000},
      {"", 1000, 1000},
  };
  for (const auto& c : cases) {
    kDeviceHandler h;
    h.Deserialize(Request("<Connection><Type>tcp</Type>" + c.elements + "</Connection>"));
    EXPECT_EQ(h.Connection.ConnectTimeOut(), c.connect) << c.elements;
    EXPECT_EQ(h.Connection.ReadTimeOut(), c.read) << c.elements;
  }
}

// Every child present; which ones a connection type takes in.
const char kAllChildren[] =
    "<ConnectTimeout>1</ConnectTimeout><DeviceName>dev</DeviceName><Address>10.0.0.5</Address><Port>8080</Port>"
    "<URL>http://u</URL><AuthType>Digest</AuthType><User>me</User><Password>pw</Password>"
    "<SerialPort>COM3</SerialPort><Speed>9600</Speed><DataBits>8</DataBits><Parity>Even</Parity>"
    "<StopBits>2</StopBits><LibraryName>lib.so</LibraryName><PrinterName>prn</PrinterName>";

TEST(DeviceHandler, EachConnectionTypeReadsItsOwnChildren) {
  const struct {
    const char* type;
    vnConnectionType expected;
    bool device, network, web, serial, library, printer;
  } cases[] = {
      {"OPOS", vnConnectionType::OPOS, true, false, false, false, false, false},
      {"tcp", vnConnectionType::TCP, false, true, true, false, false, false},
      {"Http", vnConnectionType::HTTP, false, true, true, false, false, false},
      {"SERIAL", vnConnectionType::Serial, false, false, true, true, false, false},
      {"dll", vnConnectionType::DLL, false, false, false, false, true, false},
      {"Com", vnConnectionType::Com, false, false, false, false, false, false},
      {"spool", vnConnectionType::Spool, false, false, false, false, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    kDeviceHandler h;
    h.Deserialize(Request(std::string("<Connection><Type>") + c.type + "</Type>" + kAllChildren + "</Connection>"));
    const kConnection& k = h.Connection;
    EXPECT_EQ(k.ConnectionType, c.expected);
    EXPECT_EQ(k.DeviceName, c.device ? "dev" : "");
    EXPECT_EQ(k.Address, c.network ? "10.0.0.5" : "");
    EXPECT_EQ(k.Port, c.network ? 8080 : 0);
    EXPECT_EQ(k.URL, c.web ? "http://u" : "");
    EXPECT_EQ(k.AuthType, c.web ? at_Digest : at_None);
    EXPECT_EQ(k.User, c.web ? "me" : "");
    EXPECT_EQ(k.Password, c.web ? "pw" : "");
    EXPECT_EQ(k.SerialPort, c.serial ? "COM3" : "");
    EXPECT_EQ(k.Speed, c.serial ? 9600 : 0);
    EXPECT_EQ(k.DataBits, c.serial ? 8 : 0);
    EXPECT_EQ(k.Parity, c.serial ? vnParity::Even : vnParity::None);
    EXPECT_EQ(k.StopBits, c.serial ? 2 : 0);
    EXPECT_EQ(k.LibraryName, c.library ? "lib.so" : "");
    EXPECT_EQ(k.PrinterName, c.printer ? "prn" : "");
  }
}

TEST(DeviceHandler, FailuresCarryTheirMessages) {
  const struct {
    std::string inner;
    std::string message;
  } cases[] = {
      {"<Connection><Type>Usb</Type></Connection>", "Connection Type Usb is not valid"},
      {"<Connection><Type/></Connection>", "Connection Type  is not valid"},
      {"<Connection><Type>Serial</Type><Parity>Mark</Parity></Connection>", "Connection Parity Mark is not valid"},
      {"<Connection><Type>Serial</Type></Connection>", "Connection Parity  is not valid"},
      {"<Connection><Type>tcp</Type><Port>80a</Port></Connection>",
       "Error in processing node Port as integer.\r\n'80a' is not a valid integer value"},
      {"<Parameters><ConnectTimeout>soon</ConnectTimeout></Parameters>", "'soon' is not a valid integer value"},
  };
  for (const auto& c : cases) EXPECT_EQ(FailureOf(Request(c.inner)), c.message) << c.inner;
  EXPECT_NE(FailureOf("<ReceiptPrinterManager><Driver>"), "(no failure)");
}

// Comments stay in the tree the request documents are read from; only among the
// parameters, where elements alone count, are they passed over.
TEST(DeviceHandler, CommentsStayInTheTree) {
  kDeviceHandler h;
  auto doc = h.Deserialize(Request("<Parameters><!-- a --><HexLog>true</HexLog></Parameters>"
                                   "<Receipt><Lines><!-- b --></Lines></Receipt>"));
  EXPECT_EQ(h.Parameters, std::vector<std::string>{"hexlog=true"});
  const pugi::xml_node line = doc->document_element().child("Receipt").child("Lines").first_child();
  EXPECT_EQ(line.type(), pugi::node_comment);
  // A value that holds a comment beside its text is not a plain value.
  const std::string failure =
      FailureOf("<ReceiptPrinterManager><Driver>VNRP_X<!-- c --></Driver></ReceiptPrinterManager>");
  EXPECT_NE(failure.find("does not contain a single text node"), std::string::npos) << failure;
}

TEST(DeviceHandler, UnknownAuthTypeIsNone) {
  kDeviceHandler h;
  h.Deserialize(Request("<Connection><Type>http</Type><AuthType>ntlm</AuthType></Connection>"));
  EXPECT_EQ(h.Connection.AuthType, at_None);
}

TEST(DeviceHandler, FieldsReadBeforeAFailureKeepTheirValues) {
  kDeviceHandler h;
  EXPECT_THROW(h.Deserialize(Request("<Connection><Type>tcp</Type><Address>a</Address><Port>x</Port></Connection>")),
               kException);
  EXPECT_EQ(h.Driver, "VNRP_X");
  EXPECT_EQ(h.Connection.Address, "a");
}

TEST(DeviceHandler, ParametersKeepOrderAndDuplicatesUnderLowerCaseNames) {
  kDeviceHandler h;
  // A name written twice alike repeats the value of its first element.
  h.Deserialize(Request("<Parameters><HexLog>TRUE</HexLog><RTServer>1</RTServer><rtserver>2</rtserver>"
                        "<Empty/><RTServer>3</RTServer></Parameters>"));
  const std::vector<std::string> expected = {"hexlog=TRUE", "rtserver=1", "rtserver=2", "empty=", "rtserver=1"};
  EXPECT_EQ(h.Parameters, expected);
  EXPECT_EQ(h.GetParameter("HexLog"), "TRUE");
  EXPECT_EQ(h.GetParameter("RTSERVER"), "1");  // the first of two
  EXPECT_EQ(h.GetParameter("Missing"), "");
  EXPECT_TRUE(h.ParameterExists("empty"));
  EXPECT_FALSE(h.ParameterExists("Missing"));
}

TEST(DeviceHandler, SetParameterReplacesAppendsAndRemoves) {
  kDeviceHandler h;
  h.Parameters = {"a=1", "b=2", "a=3"};
  h.SetParameter("A", "9");
  h.SetParameter("NewName", "x");
  EXPECT_EQ(h.Parameters, (std::vector<std::string>{"a=9", "b=2", "a=3", "NewName=x"}));
  h.SetParameter("a", "");
  EXPECT_EQ(h.Parameters, (std::vector<std::string>{"b=2", "a=3", "NewName=x"}));
  h.SetParameter("b", "");
  EXPECT_FALSE(h.ParameterExists("b"));
  h.SetParameter("nothing", "");  // removing what is not there changes nothing
  EXPECT_EQ(h.Parameters.size(), 2u);
}

TEST(DeviceHandler, ParametersOverrideDeviceNameAndConnectTimeout) {
  kDeviceHandler h;
  h.Deserialize(Request("<Connection><Type>Opos</Type><DeviceName>fromConn</DeviceName>"
                        "<ConnectTimeout>3000</ConnectTimeout></Connection>"
                        "<Parameters><DEVICENAME>fromParam</DEVICENAME><connecttimeout>4500</connecttimeout></Parameters>"));
  EXPECT_EQ(h.Connection.DeviceName, "fromParam");
  EXPECT_EQ(h.Connection.ConnectTimeOut(), 4500);

  kDeviceHandler zero;
  zero.Deserialize(Request("<Connection><Type>tcp</Type><ConnectTimeout>3000</ConnectTimeout></Connection>"
                           "<Parameters><ConnectTimeout>0</ConnectTimeout></Parameters>"));
  EXPECT_EQ(zero.Connection.ConnectTimeOut(), 3000);
}

TEST(DeviceHandler, ConvertersBothWays) {
  for (auto t : {vnConnectionType::OPOS, vnConnectionType::TCP, vnConnectionType::HTTP, vnConnectionType::Serial,
                 vnConnectionType::DLL, vnConnectionType::Com, vnConnectionType::Spool})
    EXPECT_EQ(kConnection::ConvertConnectionType(kConnection::ConnectionTypeToString(t)), t);
  for (auto p : {vnParity::None, vnParity::Even, vnParity::Odd})
    EXPECT_EQ(kConnection::ConvertParity(kConnection::ParityToString(p)), p);
  for (auto a : {at_None, at_Basic, at_Digest, at_Bearer})
    EXPECT_EQ(kConnection::ConvertAuthType(kConnection::AuthTypeToString(a)), a);
  EXPECT_EQ(kConnection::ConnectionTypeToString(vnConnectionType::Serial), "SERIAL");
  EXPECT_EQ(kConnection::AuthTypeToString(at_Bearer), "BEARER");
}

TEST(DeviceHandler, SerializeWritesHandleExceptForOpen) {
  kDeviceHandler h;
  h.Deserialize(Request("<Connection><Type>http</Type><URL>http://p/a?b&amp;c</URL><ReadTimeout>5000</ReadTimeout>"
                        "</Connection><Parameters><HexLog>true</HexLog></Parameters>"));
  const std::string text = h.Serialize();
  EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"utf-8\"?>", 0), 0u) << text;
  EXPECT_NE(text.find("<Handle>7</Handle>"), std::string::npos);

  // Written back and read again, the configuration is the same.
  kDeviceHandler again;
  auto doc = again.Deserialize(text);
  EXPECT_EQ(doc->document_element().attribute("Version").as_string(), std::string("1.0"));
  EXPECT_EQ(again.Driver, h.Driver);
  EXPECT_EQ(again.DeviceHandle, 7);
  EXPECT_EQ(again.Connection.ConnectionType, vnConnectionType::HTTP);
  EXPECT_EQ(again.Connection.URL, "http://p/a?b&c");
  EXPECT_EQ(again.Connection.ReadTimeOut(), 5000);
  EXPECT_EQ(again.Parameters, h.Parameters);

  for (const char* open : {"open", "OPEN", "Open"}) {
    h.Method = open;
    EXPECT_EQ(h.Serialize().find("<Handle>"), std::string::npos) << open;
  }
}

TEST(DeviceHandler, CreateIOHandlerPicksTheTransportAndNamesTheLog) {
  const struct {
    const char* type;
    const char* className;
  } cases[] = {{"tcp", "kIOHandler_TCP"}, {"http", "kIOHandler_HTTP"}, {"serial", "kIOHandler_Serial"},
               {"com", "kIOHandler_Com"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    test::TempDir dir;
    kDeviceHandler h;
    h.Deserialize(Request(std::string("<Connection><Type>") + c.type + "</Type><SerialPort>COM3</SerialPort>"
                          "<Parity>none</Parity><StopBits>1</StopBits><DataBits>8</DataBits><Speed>9600</Speed>"
                          "<ReadTimeout>4000</ReadTimeout></Connection>"));
    auto t = h.CreateIOHandler(dir.Path());
    ASSERT_TRUE(t);
    EXPECT_EQ(t->ClassName(), c.className);
    EXPECT_EQ(t->ReadTimeout(), 4000);
    const std::string name = std::filesystem::path(t->GetLogFileName()).filename().string();
    EXPECT_TRUE(std::regex_match(name, std::regex(R"(VNRP_X_L1_\d{8}\.log)"))) << name;
  }
}

TEST(DeviceHandler, EmptyLogIdStillSeparatesTheParts) {
  test::TempDir dir;
  kDeviceHandler h;
  h.Driver = "D";
  h.Connection.ConnectionType = vnConnectionType::TCP;
  auto t = h.CreateIOHandler(dir.Path());
  const std::string name = std::filesystem::path(t->GetLogFileName()).filename().string();
  EXPECT_TRUE(std::regex_match(name, std::regex(R"(D__\d{8}\.log)"))) << name;
}

TEST(DeviceHandler, LogFileNameStaysInsideTheLogFolder) {
  kDeviceHandler h;
  h.Driver = "D";
  h.LogId = "../../x\\y\n";
  EXPECT_EQ(h.LogFileName(), "D_.._.._x_y_");
  test::TempDir dir;
  h.Connection.ConnectionType = vnConnectionType::TCP;
  auto t = h.CreateIOHandler(dir.Path());
  EXPECT_EQ(std::filesystem::path(t->GetLogFileName()).parent_path(), std::filesystem::path(dir.Path()));
}

TEST(DeviceHandler, HexLogParameterSwitchesTheDump) {
  const struct {
    const char* value;
    bool hex;
  } cases[] = {{"TRUE", true}, {"true", true}, {"True", true}, {"yes", false}, {"1", false}, {"", false}};
  for (const auto& c : cases) {
    kDeviceHandler h;
    h.Deserialize(Request(std::string("<Connection><Type>http</Type></Connection><Parameters><HexLog>") + c.value +
                          "</HexLog></Parameters>"));
    EXPECT_EQ(h.CreateIOHandler("")->HexLog(), c.hex) << c.value;
  }
}

TEST(DeviceHandler, TransportCopiesTheConnection) {
  kDeviceHandler h;
  h.Deserialize(Request("<Connection><Type>http</Type><Address>10.0.0.5</Address><Port>8080</Port></Connection>"));
  auto t = h.CreateIOHandler("");
  h.Connection.Address = "changed";
  EXPECT_EQ(dynamic_cast<kIOHandler_HTTP&>(*t).Url(), "10.0.0.5:8080");
}

}  // namespace
}  // namespace fp
