// The /HELP texts: the command list and one usage and description line per command.
#include <array>
#include <string>
#include <string_view>

#include "irc/client/client.h"
#include "irc/protocol/words.h"
#include "text/ascii.h"

namespace irc {
namespace {

struct HelpTopic {
  std::string_view topic;
  std::string_view usage;
  std::string_view description;
};

// In alphabetical order: the summary line lists the topics as they stand here.
constexpr std::array<HelpTopic, 41> kHelpTopics = {{
    {"ADMIN", "Usage: /ADMIN [server]", "Retrieves administration information from a server"},
    {"AWAY", "Usage: /AWAY [reason]",
     "Sets an away message.  If [reason] is left off the message is deleted"},
    {"CLEAR", "Usage: /CLEAR", "Clears the screen of all text"},
    {"CONNECT", "Usage: /CONNECT <server> [port] [server]",
     "Make a server attempt to connect to another server"},
    {"CTCP", "Usage: /CTCP <nickname> <request>", "Request a CTCP reply from a user"},
    {"IGNORE", "Usage: /IGNORE [nick or nick!user@host mask]",
     "Hide a sender's messages and invites for this visit, or list them"},
    {"INFO", "Usage: /INFO [server]", "Retrieves IRCD information from a server"},
    {"INVITE", "Usage: /INVITE <nickname> <channel>", "Invite a user to a channel"},
    {"ISON", "Usage: /ISON <nick 1> <nick 2> <nick N>", "Determine who is online from a list of nicknames"},
    {"JOIN", "Usage: /JOIN <channel> [key]", "Join a new channel"},
    {"KICK", "Usage: /KICK <channel> <nickname> [reason]", "Kick a user from a channel"},
    {"KILL", "Usage: /KILL <nickname> [reason]", "Disconnect a user from the IRC server"},
    {"LINKS", "Usage: /LINKS", "Find out what servers on on the network"},
    {"LIST", "Usage: /LIST [mask]", "List the channels you can join"},
    {"ME", "Usage: /ME <text>", "Send an action message to the channel"},
    {"MODE", "Usage: /MODE <channel or nickname> [mode] [mode params]", "Set user or channel modes"},
    {"MOTD", "Usage: /MOTD [server]", "Request the Message Of The Day from a server"},
    {"MSG", "Usage: /MSG <channel or nickname> <text>", "Send a message to a channel or user"},
    {"NAMES", "Usage: /NAMES [channel]", "List the users you can see on a channel"},
    {"NICK", "Usage: /NICK <new nickname>", "Change your nickname"},
    {"NOTICE", "Usage: /NOTICE <channel or nickname> <text>", "Send a notice to a channel or user"},
    {"OPER", "Usage: /OPER <username> <password>", "Become an IRCop"},
    {"PART", "Usage: /PART <channel>", "Leave a channel"},
    {"QUIT", "Usage: /QUIT [reason]", "Quit ZelkIRC"},
    {"REHASH", "Usage: /REHASH", "Force the server to re-read and process the config files"},
    {"RESTART", "Usage: /RESTART", "Force the server to restart itself"},
    {"SERVER", "Usage: /SERVER <server> [port]", "Connect to a different IRC server"},
    {"SERVERLIST", "Usage: /SERVERLIST", "Display the list of networks your sysop has given you access to"},
    {"SQUIT", "Usage: /SQUIT <server> [reason]", "Disconnect a server from the network"},
    {"STATS", "Usage: /STATS [query] [server]", "Request statistical information from a server"},
    {"TIME", "Usage: /TIME [server]", "Request the current local time of a server"},
    {"TOPIC", "Usage: /TOPIC <channel> [new topic]", "Request or set the topic of a channel"},
    {"TRACE", "Usage: /TRACE [server]", "Trace the route to a server"},
    {"UNIGNORE", "Usage: /UNIGNORE <mask>", "Stop ignoring a mask given to /IGNORE"},
    {"USERHOST", "Usage: /USERHOST <nickname>", "Request information about a user"},
    {"USERS", "Usage: /USERS [server]", "List all the users connected to a server"},
    {"VERSION", "Usage: /VERSION <server>", "Request version information from a server"},
    {"WALLOPS", "Usage: /WALLOPS <text>", "Send a message to all IRCops"},
    {"WHO", "Usage: /WHO [mask] [o]",
     "Retrieve information about users who match [mask].  [o] specifies IRCops only"},
    {"WHOIS", "Usage: /WHOIS <nickname>", "Retrieve information about a particular user that is online"},
    {"WHOWAS", "Usage: /WHOWAS <nickname>", "Retrieve information about a particular user that is offline"},
}};

std::string CommandList() {
  std::string list;
  for (const HelpTopic& entry : kHelpTopics) {
    if (!list.empty()) list += ' ';
    list += entry.topic;
  }
  return list;
}

}  // namespace

void Client::ShowHelp(const Words& words) {
  if (words.size() <= 1) {
    ShowStatus("Here are the commands ZelkIRC supports:");
    ShowStatus(CommandList());
    ShowStatus("Type /HELP <command> for extended help");
    return;
  }
  const std::string topic = text::UpperAscii(words[1]);
  for (const HelpTopic& entry : kHelpTopics) {
    if (entry.topic == topic) {
      ShowStatus(entry.usage);
      ShowStatus(entry.description);
      return;
    }
  }
  // Named like the server's answer to an unknown command: the text, then the word asked about.
  ShowStatus(words[1].empty() ? std::string("Unknown Command") : "Unknown Command: " + words[1]);
}

}  // namespace irc
