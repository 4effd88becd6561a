// Reading the CLI11 definitions back into a plain model.
#include "cli/command_model.h"

#include <sstream>

namespace mendora::cli {

namespace {

std::vector<std::string> Words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

// "TEXT:{file,raw}" names its choices; "DIR" is the value's own name.
void ReadValue(const CLI::Option& option, OptionModel& model) {
  std::string type = option.get_type_name();
  const size_t open = type.find('{');
  const size_t close = type.find('}', open);
  if (open != std::string::npos && close != std::string::npos) {
    std::string item;
    for (char c : type.substr(open + 1, close - open - 1)) {
      if (c == ',') {
        model.choices.push_back(item);
        item.clear();
      } else if (c != ' ') {
        item += c;
      }
    }
    if (!item.empty()) model.choices.push_back(item);
  }
  const size_t colon = type.find(':');
  if (colon != std::string::npos) type.resize(colon);
  if (!model.choices.empty()) {
    type.clear();
    for (const std::string& choice : model.choices) type += (type.empty() ? "" : "|") + choice;
  }
  model.value = type.empty() ? "VALUE" : type;
}

OptionModel ReadOption(const CLI::Option& option) {
  OptionModel model;
  for (const std::string& name : option.get_lnames()) model.names.push_back("--" + name);
  for (const std::string& name : option.get_snames()) model.names.push_back("-" + name);
  if (option.get_items_expected_max() > 0) ReadValue(option, model);
  model.description = option.get_description();
  model.required = option.get_required();
  return model;
}

PositionalModel ReadPositional(const CLI::Option& option) {
  PositionalModel model;
  model.name = option.get_name();
  model.description = option.get_description();
  std::string type = option.get_type_name();
  // CLI11's own type names say nothing a user needs: the argument's name does.
  if (type.empty() || type == "TEXT") type = model.name;
  const bool many = option.get_items_expected_max() > 1;
  std::vector<std::string> form;
  for (const std::string& word : Words(type)) {
    if (word == "|") {
      model.forms.push_back(form);
      form.clear();
    } else {
      form.push_back(word);
    }
  }
  if (many && model.forms.empty() && form.size() == 1 && form[0].find("...") == std::string::npos) form[0] += "...";
  model.forms.push_back(form);
  return model;
}

bool Hidden(const CLI::Option& option) { return option.get_group().empty(); }

bool IsHelp(const CLI::Option& option) {
  for (const std::string& name : option.get_lnames()) {
    if (name == "help" || name == "help-all") return true;
  }
  return false;
}

}  // namespace

ProgramModel ReadCommandLine(const CLI::App& app) {
  ProgramModel program;
  program.name = app.get_name();
  program.description = app.get_description();
  for (const CLI::Option* option : app.get_options()) {
    if (!Hidden(*option) && !IsHelp(*option) && !option->get_positional()) program.options.push_back(ReadOption(*option));
  }
  for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
    if (sub->get_group().empty()) continue;
    CommandModel command;
    command.name = sub->get_name();
    command.description = sub->get_description();
    command.footer = sub->get_footer();
    for (const CLI::Option* option : sub->get_options()) {
      if (Hidden(*option) || IsHelp(*option)) continue;
      if (option->get_positional()) {
        command.positionals.push_back(ReadPositional(*option));
      } else {
        command.options.push_back(ReadOption(*option));
      }
    }
    program.commands.push_back(std::move(command));
  }
  return program;
}

}  // namespace mendora::cli
